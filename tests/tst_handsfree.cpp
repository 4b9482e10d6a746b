// Pedal and hotkey ids mapped onto the transport, against a real engine.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"

#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace fixtures;

class TestHandsFree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void centerPedalTogglesPlayback();
    void pedalsStepThroughTheRecording_data();
    void pedalsStepThroughTheRecording();
    void hotkeysLogAndAct_data();
    void hotkeysLogAndAct();

private:
    AudioEngine *engine() const { return window->findChild<AudioEngine *>(); }
    QString pane() const { return window->findChild<QTextEdit *>(QStringLiteral("pedalsView"))->toPlainText(); }
    QString eventLog() const
    {
        return window->findChild<QTextEdit *>(QStringLiteral("eventLogView"))->toPlainText();
    }
    void press(int button, bool release = true)
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onPedalDown", Q_ARG(int, button)));
        if (release)
            QVERIFY(QMetaObject::invokeMethod(window, "onPedalUp", Q_ARG(int, button)));
    }

    QTemporaryDir dir;
    QString recording;
    MainWindow *window = nullptr;
};

void TestHandsFree::initTestCase()
{
    QTRY_VERIFY2_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), "no audio output: is PulseAudio running?",
                              5000);
    recording = dir.filePath(QStringLiteral("statement.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=250:sample_rate=8000:duration=30"), {}, recording));
}

void TestHandsFree::init()
{
    window = new MainWindow(nullptr, false);
    QVERIFY(engine()->loadFile(recording));
}

void TestHandsFree::cleanup()
{
    delete window;
}

void TestHandsFree::centerPedalTogglesPlayback()
{
    press(2);
    QVERIFY(engine()->isPlaying());
    press(2);
    QVERIFY(!engine()->isPlaying());
    QVERIFY(pane().endsWith(QStringLiteral("DOWN: Center (Play)\nUP: Center\nDOWN: Center (Play)\nUP: Center")));
    QCOMPARE(eventLog().count(QStringLiteral("User Action: Play/Pause")), 2);
}

void TestHandsFree::pedalsStepThroughTheRecording_data()
{
    QTest::addColumn<qlonglong>("from");
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<qlonglong>("to");
    QTest::addColumn<QString>("lines");
    QTest::newRow("right, right, left leaves five seconds on")
        << qlonglong(10000) << QList<int>{3, 3, 1} << qlonglong(15000)
        << "DOWN: Right (Forward)\nUP: Right\nDOWN: Right (Forward)\nUP: Right\nDOWN: Left (Rewind)\nUP: Left";
    QTest::newRow("left near the start lands on 0") << qlonglong(2000) << QList<int>{1} << qlonglong(0)
                                                    << "DOWN: Left (Rewind)\nUP: Left";
    QTest::newRow("an unknown button is named Right and does nothing")
        << qlonglong(4000) << QList<int>{7} << qlonglong(4000) << "DOWN: Right (Forward)\nUP: Right";
}

void TestHandsFree::pedalsStepThroughTheRecording()
{
    QFETCH(qlonglong, from);
    QFETCH(QList<int>, buttons);
    QFETCH(qlonglong, to);
    QFETCH(QString, lines);
    engine()->seek(from);
    for (int button : buttons)
        press(button);
    QCOMPARE(engine()->position(), to);
    QVERIFY2(pane().endsWith(lines), qPrintable(pane()));
}

void TestHandsFree::hotkeysLogAndAct_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<qlonglong>("to");
    QTest::addColumn<QString>("action");
    QTest::newRow("F2 rewinds") << 2 << qlonglong(5000) << "User Action: Rewind";
    QTest::newRow("F3 forwards") << 3 << qlonglong(15000) << "User Action: Forward";
    QTest::newRow("F4 only logs") << 4 << qlonglong(10000) << "";
}

void TestHandsFree::hotkeysLogAndAct()
{
    QFETCH(int, id);
    QFETCH(qlonglong, to);
    QFETCH(QString, action);
    engine()->seek(10000);
    QVERIFY(QMetaObject::invokeMethod(window, "handleGlobalKey", Q_ARG(int, id)));
    QCOMPARE(engine()->position(), to);
    const QString log = eventLog();
    const QString logged = QStringLiteral("Global Hotkey Pressed: %1").arg(id);
    QVERIFY(log.contains(logged));
    if (action.isEmpty())
        QVERIFY(log.endsWith(logged));
    else
        QVERIFY(log.endsWith(action));
}

QTEST_MAIN(TestHandsFree)
#include "tst_handsfree.moc"
