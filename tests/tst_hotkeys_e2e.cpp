// System-wide keys on a real X server: F1 pressed while another program has
// the focus reaches the window, and the keys are given back when it closes.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "input/globalhotkeys.h"
#include "ui/mainwindow.h"

#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace fixtures;

class TestHotkeysEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void f1FromAnotherProgramPlays();
};

void TestHotkeysEndToEnd::f1FromAnotherProgramPlays()
{
    QVERIFY2(qgetenv("QT_QPA_PLATFORM") == "xcb" && !qEnvironmentVariableIsEmpty("DISPLAY"),
             "needs an X server and the xcb platform: run it through scripts/test.sh");
    QTRY_VERIFY2_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), "no audio output: is PulseAudio running?",
                              5000);
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("call.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=300:sample_rate=8000:duration=20"), {}, recording));

    auto *window = new MainWindow(nullptr, false);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *engine = window->findChild<AudioEngine *>();
    QVERIFY(engine->loadFile(recording));

    // Another program takes the focus, as a word processor would.
    QProcess other;
    other.start(QStringLiteral("xev"), {QStringLiteral("-name"), QStringLiteral("other-program")});
    QVERIFY(other.waitForStarted());
    QString otherWindow;
    QTRY_VERIFY_WITH_TIMEOUT(!(otherWindow = QString::fromLocal8Bit(
                                   run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                                   QStringLiteral("^other-program$")}))
                                   .trimmed())
                                  .isEmpty(),
                             5000);
    otherWindow = otherWindow.section(QLatin1Char('\n'), 0, 0);
    run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), otherWindow});
    QTRY_VERIFY(!window->isActiveWindow());

    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("F1")});
    QTRY_VERIFY_WITH_TIMEOUT(engine->isPlaying(), 5000);
    const QString log = window->findChild<QTextEdit *>(QStringLiteral("eventLogView"))->toPlainText();
    QVERIFY(log.contains(QStringLiteral("Global Hotkey Pressed: 1")));
    QVERIFY(log.contains(QStringLiteral("User Action: Play/Pause")));

    // Closed, the window gives the keys back to whoever wants them.
    delete window;
    GlobalHotkeys next;
    QCOMPARE(next.registrationProblem(), QString());
    QCOMPARE(next.registeredHotkeyIds(), (QList<int>{1, 2, 3, 4}));
    other.kill();
    other.waitForFinished();
}

QTEST_MAIN(TestHotkeysEndToEnd)
#include "tst_hotkeys_e2e.moc"
