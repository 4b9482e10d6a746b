#include "app/animatedsplash.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestAnimatedSplash : public QObject
{
    Q_OBJECT

private slots:
    void statusTextFollowsProgress_data();
    void statusTextFollowsProgress();
    void readyToSwitchOnceAndTimerStopped();
    void countsToTheEndOnItsOwn();
    void timerInterval_data();
    void timerInterval();
    void pictureFallsBack_data();
    void pictureFallsBack();
    void fadeOutClosesTheSplash_data();
    void fadeOutClosesTheSplash();

private:
    static void tick(AnimatedSplash &splash, int times)
    {
        for (int i = 0; i < times; ++i)
            QVERIFY(QMetaObject::invokeMethod(&splash, "onUpdate"));
    }
};

void TestAnimatedSplash::statusTextFollowsProgress_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::newRow("last of modules at 30") << 30 << "Loading Modules...";
    QTest::newRow("audio engine from 31") << 31 << "Initializing Audio Engine...";
    QTest::newRow("plugins from 61") << 61 << "Loading Plugins...";
    QTest::newRow("starting UI from 91") << 91 << "Starting UI...";
}

void TestAnimatedSplash::statusTextFollowsProgress()
{
    QFETCH(int, ticks);
    QFETCH(QString, text);
    AnimatedSplash splash(QString(), 3000);
    tick(splash, ticks);
    QCOMPARE(splash.message(), text);
    QCOMPARE(splash.findChild<QProgressBar *>()->value(), ticks);
}

void TestAnimatedSplash::readyToSwitchOnceAndTimerStopped()
{
    AnimatedSplash splash(QString(), 100000);
    QSignalSpy ready(&splash, &AnimatedSplash::readyToSwitch);
    splash.startAnimation();
    auto *timer = splash.findChild<QTimer *>();
    QVERIFY(timer->isActive());

    tick(splash, 100);
    QCOMPARE(ready.count(), 0);
    QVERIFY(timer->isActive());

    tick(splash, 1);
    QCOMPARE(ready.count(), 1);
    QVERIFY(!timer->isActive());
    QCOMPARE(splash.findChild<QProgressBar *>()->value(), 100);
}

void TestAnimatedSplash::countsToTheEndOnItsOwn()
{
    AnimatedSplash splash(QString(), 100);
    QSignalSpy ready(&splash, &AnimatedSplash::readyToSwitch);
    splash.startAnimation();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);
    // A mouse press hides the splash; the count already finished stays single.
    QTest::mouseClick(&splash, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(ready.count(), 1);
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
    QFETCH(int, interval);
    AnimatedSplash splash(QString(), durationMs);
    splash.startAnimation();
    QCOMPARE(splash.findChild<QTimer *>()->interval(), interval);
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
