#include "app/animatedsplash.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestAnimatedSplash : public QObject
{
    Q_OBJECT

private slots:
    void countsUpAndSwitchesOnce_data();
    void countsUpAndSwitchesOnce();
    void fadeOutClosesTheSplash_data();
    void fadeOutClosesTheSplash();
};

void TestAnimatedSplash::countsUpAndSwitchesOnce_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("switches"); // readyToSwitch signals so far
    QTest::newRow("audio engine from 31") << 31 << "Initializing Audio Engine..." << 0;
    QTest::newRow("starting UI from 91, not yet done at 100") << 100 << "Starting UI..." << 0;
    QTest::newRow("done at the tick past 100") << 101 << "Starting UI..." << 1;
}

void TestAnimatedSplash::countsUpAndSwitchesOnce()
{
    QFETCH(int, ticks);
    AnimatedSplash splash(QString(), 100000);
    QSignalSpy ready(&splash, &AnimatedSplash::readyToSwitch);
    splash.startAnimation();
    for (int i = 0; i < ticks; ++i)
        QVERIFY(QMetaObject::invokeMethod(&splash, "onUpdate"));
    QTEST(splash.message(), "text");
    QCOMPARE(splash.findChild<QProgressBar *>()->value(), qMin(ticks, 100));
    QTEST(int(ready.count()), "switches");
    QCOMPARE(splash.findChild<QTimer *>()->isActive(), ready.count() == 0);
}

void TestAnimatedSplash::fadeOutClosesTheSplash_data()
{
    QTest::addColumn<bool>("withWindow");
    QTest::newRow("handed over to a window") << true;
    QTest::newRow("no window to hand over to") << false;
}

void TestAnimatedSplash::fadeOutClosesTheSplash()
{
    QFETCH(bool, withWindow);
    QWidget window;
    AnimatedSplash splash(QString(), 3000);
    splash.startAnimation();
    if (withWindow)
        window.show();
    splash.fadeOutAndFinish(withWindow ? &window : nullptr);
    QVERIFY(!splash.findChild<QTimer *>()->isActive());
    QCOMPARE(splash.findChild<QProgressBar *>()->value(), 100);
    QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 5000);
    QCOMPARE(window.isVisible(), withWindow);
}

QTEST_MAIN(TestAnimatedSplash)
#include "tst_animatedsplash.moc"
