#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "monitorcapture.h"

#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace fixtures;

namespace {

// Everything the engine says, in order, as short texts.
class Recorder : public QObject
{
public:
    explicit Recorder(AudioEngine *engine)
    {
        connect(engine, &AudioEngine::playbackStopped, this, [this]() { log << "stopped"; });
        connect(engine, &AudioEngine::loadingStateChanged, this,
                [this](bool on) { log << (on ? "loading" : "loaded"); });
        connect(engine, &AudioEngine::debugMessage, this, [this](const QString &m) { log << "debug: " + m; });
        connect(engine, &AudioEngine::formatDataReady, this, [this](const QString &r) {
            log << "format";
            report = r;
        });
        connect(engine, &AudioEngine::waveformDataReady, this, [this](const QList<double> &l, const QList<double> &r) {
            log << "waveform";
            left = l;
            right = r;
        });
        connect(engine, &AudioEngine::metadataReady, this, [this](const QMap<QString, QString> &m) {
            log << "metadata";
            meta = m;
        });
    }
    QStringList log;
    QString report;
    QList<double> left;
    QList<double> right;
    QMap<QString, QString> meta;
};

QByteArray pcm16(int frames, int channels)
{
    QByteArray data;
    for (int i = 0; i < frames * channels; ++i)
        data += le16(quint16(qint16(i * 37)));
    return data;
}

// A Broadcast Wave "bext" chunk with the given origination time.
QByteArray bextChunk(const QByteArray &time)
{
    QByteArray data(602, '\0');
    data.replace(0, 9, "Interview");
    data.replace(320, 10, "2024-05-06");
    data.replace(330, time.size(), time);
    return chunk("bext", data);
}

// A PulseAudio server of this test's own, on its own socket, with one null
// sink: it can be killed and started again without touching a server that
// anything else uses. The process talks to it through PULSE_SERVER.
class PrivateSoundServer
{
public:
    explicit PrivateSoundServer(const QString &dir)
        : dir(dir)
    {
        qputenv("PULSE_SERVER", ("unix:" + dir + QStringLiteral("/native")).toUtf8());
    }
    ~PrivateSoundServer() { kill(); }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir);
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), dir + QStringLiteral("/state"));
        server.setProcessEnvironment(env);
        server.setStandardOutputFile(QProcess::nullDevice());
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(QStringLiteral("pulseaudio"),
                     {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--use-pid-file=no"),
                      QStringLiteral("--system=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-F"),
                      QStringLiteral("/dev/null"), QStringLiteral("--load=module-null-sink sink_name=private"),
                      QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + dir
                          + QStringLiteral("/native")});
        return server.waitForStarted()
               && QTest::qWaitFor([]() { return !run(QStringLiteral("pactl"), {QStringLiteral("info")}).isNull(); },
                                  5000);
    }
    void kill()
    {
        server.kill();
        server.waitForFinished();
    }

private:
    QString dir;
    QProcess server;
};

} // namespace

class TestAudioEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wavLoadSaysThingsInOrder();
    void decodedFormatsGetASummary();
    void oggUsesItsScannerReport();
    void suffixDecidesThePath_data();
    void suffixDecidesThePath();
    void compressedWavGoesThroughTheDecoder();
    void infoTagsReachTheMetadata();
    void refreshFormatInfo();
    void secondLoadDuringDecodeIsRefused();
    void destroyedWhileDecoding();
    void aRestartedSoundServerIsReconnectedOnPlay();

private:
    QString file(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QTemporaryDir serverDir{QStringLiteral("/tmp/orlenta-pulse-XXXXXX")}; // a short path: it holds a socket
    std::unique_ptr<PrivateSoundServer> soundServer;
};

void TestAudioEngine::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(serverDir.isValid());
    // Before anything asks for an audio output: Qt connects to one server for good.
    soundServer = std::make_unique<PrivateSoundServer>(serverDir.path());
    QVERIFY(soundServer->start());
    // 2 s stereo speech-like tone, used by several cases.
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2"),
                           {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-b:a"), QStringLiteral("128k")},
                           file(QStringLiteral("tone.mp3"))));
}

void TestAudioEngine::wavLoadSaysThingsInOrder()
{
    const QString path = file(QStringLiteral("order.wav"));
    QVERIFY(writeFile(path, riff(fmtChunk(1, 2, 44100, 16) + bextChunk("10:15:30") + chunk("data", pcm16(1001, 2)))));

    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(path));
    const QStringList expected = {
        "loading",
        "debug: AudioEngine: Load initiated: " + path,
        "stopped",
        "format",
        "debug: AudioEngine: Hardware 44100 Hz",
        "waveform",
        "loaded",
        "debug: AudioEngine: Load Complete.",
        "metadata",
    };
    QCOMPARE(seen.log, expected);
    QCOMPARE(engine.duration(), qlonglong(1001 * 1000 / 44100));
    QCOMPARE(engine.samples(), pcm16(1001, 2));
    QCOMPARE(engine.startTimeOfDay(), qlonglong(36930000));
    QCOMPARE(seen.meta.value(QStringLiteral("BWF_StartTime")), QStringLiteral("36930000"));
    QCOMPARE(seen.left.size(), 3);
    QCOMPARE(seen.right.size(), 3);
    QVERIFY(seen.report.contains(QStringLiteral("Orig. Time: 10:15:30")));
    QVERIFY(!engine.isLoading());
}

void TestAudioEngine::decodedFormatsGetASummary()
{
    const QString path = file(QStringLiteral("tone.mp3"));
    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(path));
    QVERIFY(seen.log.contains(QStringLiteral("debug: AudioEngine: Using Universal Decoder for tone.mp3")));
    QCOMPARE(engine.samples(), ffmpegS16(path));
    QCOMPARE(engine.channelCount(), 2);
    QCOMPARE(engine.sampleRate(), 44100);
    QCOMPARE(engine.duration(), qlonglong(engine.samples().size() / 4 * 1000 / 44100));
    const QString expected = QStringLiteral("=== General ===\nFilename: tone.mp3\nContainer: MP3\n\n"
                                            "=== Audio Track ===\nFormat: Decoded PCM (16-bit)\nChannels: 2\n"
                                            "Sample Rate: 44100 Hz\nDuration: %1 s\n")
                                 .arg(QString::number(engine.duration() / 1000.0, 'f', 3));
    QCOMPARE(seen.report, expected);
    QCOMPARE(seen.log.indexOf(QStringLiteral("format")) < seen.log.indexOf(QStringLiteral("waveform")), true);
}

void TestAudioEngine::oggUsesItsScannerReport()
{
    const QString wav = file(QStringLiteral("speech-src.wav"));
    const QString ogg = file(QStringLiteral("speech.ogg"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=300:sample_rate=22050:duration=1"), {}, wav));
    QVERIFY(!run(QStringLiteral("oggenc"), {QStringLiteral("-Q"), QStringLiteral("-c"),
                                            QStringLiteral("DATE=2021-03-04T10:20:30"), QStringLiteral("-o"), ogg, wav})
                 .isNull());

    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(ogg));
    QCOMPARE(seen.log.count(QStringLiteral("format")), 1);
    QVERIFY(seen.report.contains(QStringLiteral("Container: Ogg")));
    QVERIFY(!seen.report.contains(QStringLiteral("Decoded PCM")));
    QCOMPARE(engine.startTimeOfDay(), qlonglong(37230000));
    QCOMPARE(seen.meta.value(QStringLiteral("BWF_StartTime")), QStringLiteral("37230000"));
    QCOMPARE(engine.samples(), ffmpegS16(ogg));
}

void TestAudioEngine::suffixDecidesThePath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("decoded");
    QTest::newRow("upper-case WAV is read directly") << "TEST.WAV" << false;
    QTest::newRow("bwf is read directly") << "take.bwf" << false;
    QTest::newRow("wave goes to the decoder") << "take.wave" << true;
}

void TestAudioEngine::suffixDecidesThePath()
{
    QFETCH(QString, name);
    QFETCH(bool, decoded);
    const QString path = file(name);
    QVERIFY(writeFile(path, riff(fmtChunk(1, 1, 8000, 16) + chunk("data", pcm16(800, 1)))));
    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(path));
    QCOMPARE(!seen.log.filter(QStringLiteral("Using Universal Decoder")).isEmpty(), decoded);
    QCOMPARE(engine.samples(), pcm16(800, 1));
    QCOMPARE(engine.duration(), qlonglong(100));
}

void TestAudioEngine::compressedWavGoesThroughTheDecoder()
{
    const QString path = file(QStringLiteral("phone.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=8000:duration=1"),
                           {QStringLiteral("-c:a"), QStringLiteral("pcm_alaw")}, path));
    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(path));
    QCOMPARE(engine.samples(), ffmpegS16(path));
    QCOMPARE(engine.sampleRate(), 8000);
    // The Wave report stays; the decoder adds no summary of its own.
    QCOMPARE(seen.log.count(QStringLiteral("format")), 1);
    QVERIFY(seen.report.contains(QStringLiteral("Format: A-law\n")));
    QVERIFY(seen.report.contains(QStringLiteral("Duration: 1.000 s\n")));
}

void TestAudioEngine::infoTagsReachTheMetadata()
{
    const QString path = file(QStringLiteral("tagged.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=sample_rate=8000:duration=0.5"),
                           {QStringLiteral("-metadata"), QStringLiteral("title=Case 42"), QStringLiteral("-metadata"),
                            QStringLiteral("IENG=J. Smith"), QStringLiteral("-metadata"),
                            QStringLiteral("comment=Loc: Leeds")},
                           path));
    AudioEngine engine;
    Recorder seen(&engine);
    QVERIFY(engine.loadFile(path));
    QCOMPARE(seen.meta.value(QStringLiteral("Title")), QStringLiteral("Case 42"));
    QCOMPARE(seen.meta.value(QStringLiteral("Engineer")), QStringLiteral("J. Smith"));
    QCOMPARE(seen.meta.value(QStringLiteral("Comment")), QStringLiteral("Loc: Leeds"));
    QVERIFY(!seen.meta.contains(QStringLiteral("BWF_StartTime")));
    // The INFO chunk after the samples is not taken as samples.
    QCOMPARE(engine.samples(), ffmpegS16(path));
}

void TestAudioEngine::refreshFormatInfo()
{
    AudioEngine engine;
    Recorder seen(&engine);
    engine.refreshFormatInfo();
    QCOMPARE(seen.report, QStringLiteral("No audio loaded."));

    const QString wav = file(QStringLiteral("refresh.wav"));
    QVERIFY(writeFile(wav, riff(fmtChunk(1, 2, 44100, 16) + bextChunk("08:00:00") + chunk("data", pcm16(100, 2)))));
    QVERIFY(engine.loadFile(wav));
    // Rewrite the file on disk: Update reads it again.
    QVERIFY(writeFile(wav, riff(fmtChunk(1, 2, 44100, 16) + bextChunk("09:30:00") + chunk("data", pcm16(100, 2)))));
    seen.log.clear();
    engine.refreshFormatInfo();
    QCOMPARE(seen.log, (QStringList{"format", "debug: Metadata Refresh: Scanned raw file from disk."}));
    QVERIFY(seen.report.contains(QStringLiteral("Orig. Time: 09:30:00")));
    QCOMPARE(engine.startTimeOfDay(), qlonglong(34200000));

    QVERIFY(QFile::remove(wav));
    engine.refreshFormatInfo();
    QCOMPARE(seen.report, QStringLiteral("Could not read file for metadata scan."));

    QVERIFY(engine.loadFile(file(QStringLiteral("tone.mp3"))));
    const QString summary = seen.report;
    QVERIFY(summary.startsWith(QStringLiteral("=== General ===\nFilename: tone.mp3\nContainer: MP3")));
    seen.report.clear();
    engine.refreshFormatInfo();
    QCOMPARE(seen.report, summary);
}

void TestAudioEngine::secondLoadDuringDecodeIsRefused()
{
    AudioEngine engine;
    Recorder seen(&engine);
    bool refused = false;
    QTimer::singleShot(0, &engine, [&]() {
        QVERIFY(engine.isLoading());
        refused = !engine.loadFile(file(QStringLiteral("tone.mp3")));
    });
    QVERIFY(engine.loadFile(file(QStringLiteral("tone.mp3"))));
    QVERIFY(refused);
    QCOMPARE(seen.log.count(QStringLiteral("loading")), 1);
    QCOMPARE(seen.log.count(QStringLiteral("loaded")), 1);
    QCOMPARE(engine.samples(), ffmpegS16(file(QStringLiteral("tone.mp3"))));
}

void TestAudioEngine::destroyedWhileDecoding()
{
    auto *engine = new AudioEngine;
    QTimer::singleShot(0, [engine]() { delete engine; });
    QVERIFY(!engine->loadFile(file(QStringLiteral("tone.mp3"))));
}

void TestAudioEngine::aRestartedSoundServerIsReconnectedOnPlay()
{
    const int rate = 44100;
    QByteArray tone;
    for (int f = 0; f < 20 * rate; ++f) {
        const quint16 v = quint16(qint16(std::lround(12000.0 * std::sin(2 * M_PI * 440.0 * f / rate))));
        tone += le16(v) + le16(v);
    }
    QVERIFY(writeFile(file(QStringLiteral("long.wav")), riff(fmtChunk(1, 2, rate, 16) + chunk("data", tone))));
    QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), 5000);
    AudioEngine engine;
    QVERIFY(engine.loadFile(file(QStringLiteral("long.wav"))));
    Recorder seen(&engine);
    QSignalSpy lost(&engine, &AudioEngine::outputLost);
    engine.play();
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 500, 8000);

    soundServer->kill();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    QVERIFY(!engine.isPlaying());
    QVERIFY(seen.log.contains(QStringLiteral("debug: AudioEngine: Audio output lost (the sound server went away); "
                                             "press Play to reconnect.")));
    QVERIFY(seen.log.endsWith(QStringLiteral("stopped")));

    QVERIFY(soundServer->start());
    MonitorCapture capture;
    QVERIFY(capture.start(QStringLiteral("private.monitor")));
    // Qt reconnects to the server a few seconds after losing it; until then
    // a press finds no output and says so again.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&]() {
            if (!engine.isPlaying())
                engine.play();
            return capture.firstLoud(0, 3000) >= 0;
        }(),
        15000);
    QVERIFY(engine.isPlaying());
}

QTEST_GUILESS_MAIN(TestAudioEngine)
#include "tst_audioengine.moc"
