// Loading into the engine: which reader takes a file, what it reports and in
// what order, and a sound server that goes away under a playing stream.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "monitorcapture.h"

#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace fixtures;

namespace {

// What the engine says, in order (debug lines only when asked for).
class Recorder : public QObject
{
public:
    Recorder(AudioEngine *engine, bool withDebug)
    {
        connect(engine, &AudioEngine::playbackStopped, this, [this]() { log << "stopped"; });
        connect(engine, &AudioEngine::loadingStateChanged, this,
                [this](bool on) { log << (on ? "loading" : "loaded"); });
        connect(engine, &AudioEngine::formatDataReady, this, [this](const QString &r) { log << "format"; report = r; });
        connect(engine, &AudioEngine::waveformDataReady, this, [this]() { log << "waveform"; });
        connect(engine, &AudioEngine::metadataReady, this, [this](const QMap<QString, QString> &m) { log << "metadata"; meta = m; });
        connect(engine, &AudioEngine::debugMessage, this, [this, withDebug](const QString &m) {
            decoded = decoded || m.contains(QStringLiteral("Using Universal Decoder"));
            if (withDebug)
                log << m;
        });
    }
    QStringList log;
    QString report;
    QMap<QString, QString> meta;
    bool decoded = false;
};

QStringList words(const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); }

} // namespace

class TestAudioEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && serverDir.isValid());
        // Before anything asks for an audio output: Qt connects to one server for good.
        qputenv("PULSE_SERVER", "unix:" + serverDir.filePath(QStringLiteral("native")).toUtf8());
        QVERIFY(startServer());
        QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2"), words("-ac 2"),
                               file(QStringLiteral("tone.mp3"))));
    }

    void cleanupTestCase() { stopServer(); }

    void loadsEachKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("decoded");
        QTest::addColumn<QString>("reportHas");
        QTest::addColumn<QString>("metaKey");
        QTest::addColumn<QString>("metaValue");
        QTest::addColumn<qlonglong>("startTime");
        QTest::newRow("wave goes to the decoder") << "take.wave" << true << "" << "" << "" << 0LL;
        QTest::newRow("Ogg keeps its scanner's report and date")
            << "speech.ogg" << true << "Container: Ogg" << "BWF_StartTime" << "37230000" << 37230000LL;
        QTest::newRow("A-law WAV keeps the Wave report") << "phone.wav" << true << "Format: A-law\n" << "" << "" << 0LL;
        // The INFO chunk after the samples is not taken as samples.
        QTest::newRow("INFO tags after the samples") << "tagged.wav" << false << "" << "Engineer" << "J. Smith" << 0LL;
    }

    void loadsEachKind()
    {
        QFETCH(QString, name);
        QFETCH(QString, reportHas);
        QFETCH(QString, metaKey);
        const QString path = file(name);
        const QString source = file(QStringLiteral("source.wav"));
        if (name == "take.wave") {
            QVERIFY(writeFile(path, riff(fmtChunk(1, 1, 8000, 16) + chunk("data", QByteArray(1600, '\x35')))));
        } else if (name == "speech.ogg") {
            QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=300:sample_rate=22050:duration=1"), {}, source));
            QVERIFY(!run(QStringLiteral("oggenc"), words("-Q -c DATE=2021-03-04T10:20:30 -o") << path << source).isNull());
        } else if (name == "phone.wav") {
            QVERIFY(ffmpegGenerate(QStringLiteral("sine=sample_rate=8000:duration=1"), words("-c:a pcm_alaw"), path));
        } else if (name == "tagged.wav") {
            QVERIFY(ffmpegGenerate(QStringLiteral("sine=sample_rate=8000:duration=0.5"),
                                   {QStringLiteral("-metadata"), QStringLiteral("IENG=J. Smith")}, path));
        }
        AudioEngine engine;
        Recorder seen(&engine, false);
        QVERIFY(engine.loadFile(path));
        // The window fills the format page and waveform before it takes the
        // recording as loaded, and the details after.
        QCOMPARE(seen.log, QStringList({"loading", "stopped", "format", "waveform", "loaded", "metadata"}));
        QTEST(seen.decoded, "decoded");
        QCOMPARE(engine.samples(), ffmpegS16(path));
        QCOMPARE(engine.duration(), qlonglong(engine.samples().size() / 2 / engine.channelCount() * 1000
                                              / engine.sampleRate()));
        QVERIFY2(seen.report.contains(reportHas), qPrintable(seen.report));
        QVERIFY(!name.endsWith(".ogg") || !seen.report.contains(QStringLiteral("Decoded PCM")));
        if (!metaKey.isEmpty())
            QTEST(seen.meta.value(metaKey), "metaValue");
        QTEST(engine.startTimeOfDay(), "startTime");
        QVERIFY(!engine.isLoading());
    }

    void secondLoadDuringDecodeIsRefused()
    {
        AudioEngine engine;
        Recorder seen(&engine, false);
        bool refused = false;
        QTimer::singleShot(0, &engine, [&]() {
            QVERIFY(engine.isLoading());
            refused = !engine.loadFile(file(QStringLiteral("tone.mp3")));
        });
        QVERIFY(engine.loadFile(file(QStringLiteral("tone.mp3"))));
        QVERIFY(refused);
        QCOMPARE(seen.log.count(QStringLiteral("loaded")), 1);
        QCOMPARE(engine.samples(), ffmpegS16(file(QStringLiteral("tone.mp3"))));
    }

    void destroyedWhileDecoding()
    {
        auto *engine = new AudioEngine;
        QTimer::singleShot(0, [engine]() { delete engine; });
        QVERIFY(!engine->loadFile(file(QStringLiteral("tone.mp3"))));
    }

    void aRestartedSoundServerIsReconnectedOnPlay()
    {
        QVERIFY(ffmpegGenerate(QStringLiteral("aevalsrc=0.4*sin(2*PI*440*t):s=44100:d=20"), words("-ac 2"),
                               file(QStringLiteral("long.wav"))));
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), 5000);
        AudioEngine engine;
        QVERIFY(engine.loadFile(file(QStringLiteral("long.wav"))));
        Recorder seen(&engine, true);
        QSignalSpy lost(&engine, &AudioEngine::outputLost);
        engine.play();
        QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 500, 8000);

        stopServer();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
        QVERIFY(!engine.isPlaying());
        QVERIFY(seen.log.contains(QStringLiteral("AudioEngine: Audio output lost (the sound server went away); "
                                                 "press Play to reconnect.")));
        QVERIFY(seen.log.endsWith(QStringLiteral("stopped")));

        QVERIFY(startServer());
        MonitorCapture capture;
        QVERIFY(capture.start(QStringLiteral("private.monitor")));
        // Qt reconnects a few seconds after losing the server; until then a press
        // finds no output and says so again.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&]() {
                if (!engine.isPlaying())
                    engine.play();
                return capture.firstLoud(0, 3000) >= 0;
            }(),
            15000);
        QVERIFY(engine.isPlaying());
    }

private:
    // A PulseAudio server of this test's own with one null sink: it can be killed
    // and started again without touching a server anything else uses.
    bool startServer()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), serverDir.path());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), serverDir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), serverDir.filePath(QStringLiteral("state")));
        // Off the session bus: a second server quits when the bus's PulseAudio name is taken.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + serverDir.filePath(QStringLiteral("nobus")));
        server.setProcessEnvironment(env);
        server.setStandardOutputFile(QProcess::nullDevice());
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(QStringLiteral("pulseaudio"),
                     words("-n --daemonize=no --use-pid-file=no --system=no --exit-idle-time=-1 -F /dev/null")
                         << QStringLiteral("--load=module-null-sink sink_name=private")
                         << QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=")
                                + serverDir.filePath(QStringLiteral("native")));
        return server.waitForStarted()
               && QTest::qWaitFor([]() { return !run(QStringLiteral("pactl"), {QStringLiteral("info")}).isNull(); },
                                  5000);
    }

    void stopServer()
    {
        server.kill();
        server.waitForFinished();
    }

    QString file(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QTemporaryDir serverDir{QStringLiteral("/tmp/orlenta-pulse-XXXXXX")}; // a short path: it holds a socket
    QProcess server;
};

QTEST_GUILESS_MAIN(TestAudioEngine)
#include "tst_audioengine.moc"
