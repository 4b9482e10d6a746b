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
    void timerInterval_data();
    void timerInterval();
    void pictureFallsBack_data();
    void pictureFallsBack();
    void fadeOutClosesTheSplash_data();
    void fadeOutClosesTheSplash();
};

void TestAnimatedSplash::countsUpAndSwitchesOnce_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("switches"); // readyToSwitch signals so far
    QTest::newRow("last of modules at 30") << 30 << "Loading Modules..." << 0;
    QTest::newRow("audio engine from 31") << 31 << "Initializing Audio Engine..." << 0;
    QTest::newRow("plugins from 61") << 61 << "Loading Plugins..." << 0;
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

void TestAnimatedSplash::timerInterval_data()
{
    QTest::addColumn<int>("durationMs");
    QTest::addColumn<int>("interval");
    QTest::newRow("whole milliseconds only") << 3099 << 30;
    QTest::newRow("below 100 ms ticks on every pass") << 99 << 0;
}

void TestAnimatedSplash::timerInterval()
{
    QFETCH(int, durationMs);
    AnimatedSplash splash(QString(), durationMs);
    splash.startAnimation();
    QTEST(splash.findChild<QTimer *>()->interval(), "interval");
}
void TestAnimatedSplash::pictureFallsBack_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("centre");
    QTest::newRow("missing picture gives the dark square") << "/nonexistent/splash.png" << QColor(30, 30, 30);
    QTest::newRow("the compiled-in picture, scaled") << ":/Logocircle.png" << QColor();
}

void TestAnimatedSplash::pictureFallsBack()
{
    QFETCH(QString, path);
    QFETCH(QColor, centre);
    AnimatedSplash splash(path, 3000);
    const QPixmap picture = splash.pixmap();
    QCOMPARE(picture.size(), QSize(600, 600));
    if (centre.isValid())
        QCOMPARE(picture.toImage().pixelColor(300, 300), centre);
    else
        QVERIFY(picture.toImage().pixelColor(300, 300) != QColor(30, 30, 30));
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
