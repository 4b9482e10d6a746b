// Playback heard on the real output: a null sink of this test's own on the
// PulseAudio server (scripts/test.sh starts one), whose monitor is captured
// with parec, so no other sound reaches what is measured.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "monitorcapture.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>

using namespace fixtures;

namespace {

constexpr int kRate = 44100;
constexpr int kLoud = 3000;

// A stereo recording whose sample value comes from `wave(seconds, channel)`.
QByteArray stereoWav(double seconds, const std::function<double(double, int)> &wave)
{
    QByteArray pcm;
    const qint64 frames = qint64(seconds * kRate);
    pcm.reserve(frames * 4);
    for (qint64 f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            pcm += le16(quint16(qint16(std::lround(wave(double(f) / kRate, c)))));
    return riff(fmtChunk(1, 2, kRate, 16) + chunk("data", pcm));
}

double sine(double hz, double t)
{
    return 12000.0 * std::sin(2 * M_PI * hz * t);
}

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void positionAndSeeksWithoutSound_data();
    void positionAndSeeksWithoutSound();
    void playPauseResumeStop();
    void endOfDataStopsOnce();
    void muteLeftIsHeardSilent();
    void speedKeepsThePitch_data();
    void speedKeepsThePitch();
    void loopRepeatsTheRegion();
    void seekWhilePlayingIsHeardAtOnce();
    void positionFollowsWhatIsHeard();
    void changingTheDeviceKeepsThePosition();
    void aVanishedDeviceFallsBackToTheDefault();
    void anUnderrunDoesNotStopTheClock();
    void playAfterStopIsHeardAtOnce();

private:
    void load(const QString &name, const QByteArray &wav);
    // Plays and returns the capture frame where sound first arrives.
    qint64 playUntilHeard();

    QTemporaryDir dir;
    QString sinkName;
    QByteArray sinkModule;
    QAudioDevice sinkDevice;
    AudioEngine *engine = nullptr;
    MonitorCapture *capture = nullptr;
};

void TestPlayback::initTestCase()
{
    // The device list fills once the audio server has answered.
    QTRY_VERIFY2_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), "no audio output: is PulseAudio running?",
                              5000);
    sinkName = QStringLiteral("orlenta_playback_%1").arg(QCoreApplication::applicationPid());
    sinkModule = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                               QStringLiteral("sink_name=") + sinkName})
                     .trimmed();
    QVERIFY(!sinkModule.isEmpty());
    QTRY_VERIFY([&]() {
        for (const QAudioDevice &device : QMediaDevices::audioOutputs()) {
            if (device.id() == sinkName.toLatin1())
                sinkDevice = device;
        }
        return !sinkDevice.isNull();
    }());
}

void TestPlayback::cleanupTestCase()
{
    if (!sinkModule.isEmpty())
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), QString::fromLatin1(sinkModule)});
}

void TestPlayback::init()
{
    engine = new AudioEngine;
    engine->setOutputDevice(sinkDevice);
    capture = new MonitorCapture;
    QVERIFY(capture->start(sinkName + QStringLiteral(".monitor")));
}

void TestPlayback::cleanup()
{
    delete engine;
    delete capture;
}

void TestPlayback::load(const QString &name, const QByteArray &wav)
{
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(wav);
    file.close();
    QVERIFY(engine->loadFile(file.fileName()));
}

qint64 TestPlayback::playUntilHeard()
{
    const qint64 before = capture->frames();
    engine->play();
    qint64 heard = -1;
    // The null sink takes a moment to start pulling.
    const bool arrived = QTest::qWaitFor([&]() { return (heard = capture->firstLoud(before, kLoud)) >= 0; }, 8000);
    return arrived ? heard : -1;
}

void TestPlayback::positionAndSeeksWithoutSound_data()
{
    QTest::addColumn<qlonglong>("target");
    QTest::addColumn<qlonglong>("reported");
    QTest::addColumn<qlonglong>("position");
    // 4 s of 16-bit stereo at 44.1 kHz: 176 400 bytes a second.
    QTest::newRow("before the start") << qlonglong(-300) << qlonglong(0) << qlonglong(0);
    QTest::newRow("past the end") << qlonglong(14000) << qlonglong(4000) << qlonglong(4000);
    QTest::newRow("1001 ms lands on byte 176 576") << qlonglong(1001) << qlonglong(1001)
                                                   << qlonglong(176576 * 1000 / 176400);
}

void TestPlayback::positionAndSeeksWithoutSound()
{
    QFETCH(qlonglong, target);
    QFETCH(qlonglong, reported);
    QFETCH(qlonglong, position);
    load(QStringLiteral("silence.wav"), stereoWav(4.0, [](double, int) { return 0.0; }));
    QCOMPARE(engine->position(), qlonglong(0));
    QVERIFY(!engine->isPlaying());

    QSignalSpy positions(engine, &AudioEngine::positionChanged);
    engine->seek(target);
    QCOMPARE(positions.count(), 1);
    QCOMPARE(positions.first().first().toLongLong(), reported);
    QCOMPARE(engine->position(), position);
}

void TestPlayback::playPauseResumeStop()
{
    load(QStringLiteral("tone.wav"), stereoWav(6.0, [](double t, int) { return sine(440, t); }));
    QVERIFY(playUntilHeard() >= 0);
    QVERIFY(engine->isPlaying());
    QTRY_VERIFY(engine->position() > 300);

    engine->pause();
    QVERIFY(!engine->isPlaying());
    const qlonglong paused = engine->position();
    QTest::qWait(400);
    QCOMPARE(engine->position(), paused);

    engine->play();
    QTRY_VERIFY(engine->position() > paused + 200);
    QVERIFY(engine->position() < paused + 2000); // resumed, not restarted or skipped

    engine->stop();
    QVERIFY(!engine->isPlaying());
    QCOMPARE(engine->position(), qlonglong(0));
    engine->play();
    QTRY_VERIFY(engine->position() > 0);
    QVERIFY(engine->position() < 1500);
}

void TestPlayback::endOfDataStopsOnce()
{
    load(QStringLiteral("short.wav"), stereoWav(0.3, [](double t, int) { return sine(440, t); }));
    QSignalSpy stopped(engine, &AudioEngine::playbackStopped);
    engine->play();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 8000);
    QVERIFY(!engine->isPlaying());
    QCOMPARE(engine->position(), engine->duration());
    QTest::qWait(300);
    QCOMPARE(stopped.count(), 1);
    // Play at the end has nothing left: it stops again straight away.
    engine->play();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 3000);
}

void TestPlayback::muteLeftIsHeardSilent()
{
    load(QStringLiteral("both.wav"), stereoWav(4.0, [](double t, int) { return sine(440, t); }));
    engine->setChannelMute(true, false);
    const qint64 heard = playUntilHeard();
    QVERIFY(heard >= 0);
    QTRY_VERIFY(capture->frames() > heard + kRate);
    QVERIFY(capture->rms(heard, kRate, 0) < 50);
    QVERIFY(capture->rms(heard, kRate, 1) > 5000);
}

void TestPlayback::speedKeepsThePitch_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<double>("seconds");
    QTest::newRow("2.0x") << 2.0 << 8.0;
    QTest::newRow("0.5x") << 0.5 << 3.0;
}

void TestPlayback::speedKeepsThePitch()
{
    QFETCH(double, speed);
    QFETCH(double, seconds);
    load(QStringLiteral("khz.wav"), stereoWav(seconds, [](double t, int) { return sine(1000, t); }));
    engine->setPlaybackSpeed(speed);
    QSignalSpy stopped(engine, &AudioEngine::playbackStopped);
    const qint64 heard = playUntilHeard();
    QVERIFY(heard >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, int(seconds / speed * 1000) + 8000);
    QTest::qWait(300);

    // The last loud frame closes the sound: heard for seconds / speed.
    qint64 last = heard;
    for (qint64 f = heard; f < capture->frames(); ++f) {
        if (std::abs(capture->sample(f, 0)) >= kLoud)
            last = f;
    }
    const double heardSeconds = double(last - heard) / kRate;
    QVERIFY2(qAbs(heardSeconds - seconds / speed) < 0.03 * seconds / speed, qPrintable(QString::number(heardSeconds)));
    const double hz = capture->frequency(heard + kRate / 2, kRate, 0);
    QVERIFY2(qAbs(hz - 1000.0) < 20.0, qPrintable(QString::number(hz)));
}

void TestPlayback::loopRepeatsTheRegion()
{
    // 440 Hz, except 1000 Hz between 1.0 and 1.5 s.
    load(QStringLiteral("marked.wav"), stereoWav(3.0, [](double t, int) {
             return sine(t >= 1.0 && t < 1.5 ? 1000 : 440, t);
         }));
    engine->setLoopRegion(true, 1000, 1500);
    engine->seek(1000);
    const qint64 heard = playUntilHeard();
    QVERIFY(heard >= 0);
    // Three seconds of sound: past the recording's end, and only the region.
    QTRY_VERIFY_WITH_TIMEOUT(capture->frames() > heard + 3 * kRate, 8000);
    QVERIFY(engine->isPlaying());
    const qlonglong at = engine->position();
    QVERIFY2(at >= 1000 && at <= 1500, qPrintable(QString::number(at)));
    const double hz = capture->frequency(heard, 3 * kRate, 0);
    QVERIFY2(qAbs(hz - 1000.0) < 20.0, qPrintable(QString::number(hz)));
    QVERIFY(capture->rms(heard, 3 * kRate, 0) > 5000); // no gaps
}

void TestPlayback::seekWhilePlayingIsHeardAtOnce()
{
    // 440 Hz for five seconds, then 1000 Hz.
    load(QStringLiteral("halves.wav"), stereoWav(10.0, [](double t, int) { return sine(t < 5.0 ? 440 : 1000, t); }));
    const qint64 heard = playUntilHeard();
    QVERIFY(heard >= 0);
    QTRY_VERIFY(capture->frames() > heard + kRate / 2);
    engine->seek(7000);
    const qint64 seekedAt = capture->frames();
    QTRY_VERIFY(capture->frames() > seekedAt + kRate);
    // Within 150 ms of the seek the new point is what plays.
    const double hz = capture->frequency(seekedAt + kRate * 15 / 100, kRate / 2, 0);
    QVERIFY2(qAbs(hz - 1000.0) < 20.0, qPrintable(QString::number(hz)));
}

void TestPlayback::positionFollowsWhatIsHeard()
{
    // Silence with a click at exactly 2.000 s.
    load(QStringLiteral("click.wav"), stereoWav(4.0, [](double t, int) {
             return t >= 2.0 && t < 2.0005 ? 20000.0 : 0.0;
         }));
    qlonglong whenHeard = -1;
    connect(capture, &MonitorCapture::arrived, this, [&]() {
        if (whenHeard < 0 && capture->firstLoud(0, kLoud) >= 0)
            whenHeard = engine->position();
    });
    engine->play();
    QTRY_VERIFY_WITH_TIMEOUT(whenHeard >= 0, 10000);
    QVERIFY2(qAbs(whenHeard - 2000) <= 60, qPrintable(QString::number(whenHeard)));
}

void TestPlayback::changingTheDeviceKeepsThePosition()
{
    QAudioDevice nullSink;
    for (const QAudioDevice &device : QMediaDevices::audioOutputs()) {
        if (device.description() == QLatin1String("Null Output"))
            nullSink = device;
    }
    QVERIFY2(!nullSink.isNull(), "the null sink is not listed");

    load(QStringLiteral("long.wav"), stereoWav(6.0, [](double t, int) { return sine(440, t); }));
    QVERIFY(playUntilHeard() >= 0);
    QTRY_VERIFY(engine->position() > 1000);
    const qlonglong before = engine->position();
    engine->setOutputDevice(nullSink);
    QVERIFY(engine->isPlaying());
    QVERIFY2(qAbs(engine->position() - before) < 150, qPrintable(QString::number(engine->position() - before)));
    QTRY_VERIFY(engine->position() > before + 300);
}

void TestPlayback::aVanishedDeviceFallsBackToTheDefault()
{
    // A second output that can be unplugged: another null sink.
    const QByteArray module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"),
                                                            QStringLiteral("module-null-sink"),
                                                            QStringLiteral("sink_name=unplugged")})
                                  .trimmed();
    QVERIFY(!module.isEmpty());
    QAudioDevice second;
    QTRY_VERIFY([&]() {
        for (const QAudioDevice &device : QMediaDevices::audioOutputs()) {
            if (device.id() == "unplugged")
                second = device;
        }
        return !second.isNull();
    }());

    load(QStringLiteral("moving.wav"), stereoWav(8.0, [](double t, int) { return sine(440, t); }));
    QSignalSpy log(engine, &AudioEngine::debugMessage);
    engine->setOutputDevice(second);
    engine->play();
    QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 500, 8000);
    QVERIFY(!run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), QString::fromLatin1(module)}).isNull());

    // Playback goes on, on the default output (captured), from about where it was.
    MonitorCapture fallback;
    QVERIFY(fallback.start());
    // The server moving the stream may starve it for a moment first.
    QTRY_VERIFY_WITH_TIMEOUT(!log.isEmpty()
                                 && log.last().first().toString().contains(
                                     QStringLiteral("is gone; using the default output")),
                             5000);
    const qint64 before = fallback.frames();
    QTRY_VERIFY_WITH_TIMEOUT(fallback.firstLoud(before, kLoud) >= 0, 5000);
    QVERIFY(engine->isPlaying());
    QVERIFY(engine->position() < 4000);
}

void TestPlayback::anUnderrunDoesNotStopTheClock()
{
    load(QStringLiteral("long.wav"), stereoWav(8.0, [](double t, int) { return sine(440, t); }));
    QSignalSpy stopped(engine, &AudioEngine::playbackStopped);
    QSignalSpy log(engine, &AudioEngine::debugMessage);
    QVERIFY(playUntilHeard() >= 0);
    QTRY_VERIFY(engine->position() > 300);

    // Two stalls of the event loop, each far longer than the stream's buffer.
    for (int stall = 0; stall < 2; ++stall) {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 600) {
        }
        QTest::qWait(300);
    }
    const qlonglong after = engine->position();
    QTRY_VERIFY(engine->position() > after + 500);
    QVERIFY(engine->isPlaying());
    QCOMPARE(stopped.count(), 0);
    const qint64 heard = capture->frames();
    QTRY_VERIFY(capture->frames() > heard + kRate / 2);
    QVERIFY(capture->rms(heard, kRate / 2, 0) > 5000);
    int underrunLines = 0;
    for (const QList<QVariant> &line : log)
        underrunLines += line.first().toString().contains(QStringLiteral("Output underrun")) ? 1 : 0;
    QCOMPARE(underrunLines, 1);
}

void TestPlayback::playAfterStopIsHeardAtOnce()
{
    load(QStringLiteral("tone.wav"), stereoWav(3.0, [](double t, int) { return sine(440, t); }));
    QVERIFY(playUntilHeard() >= 0);
    QList<double> delays;
    for (int attempt = 0; attempt < 5; ++attempt) {
        engine->stop();
        QTest::qWait(300);
        // The capture is read as it arrives, so its length marks the press.
        const qint64 pressed = capture->frames();
        const qint64 heard = playUntilHeard();
        QVERIFY(heard >= 0);
        delays << double(heard - pressed) * 1000.0 / kRate;
    }
    qInfo() << "play after stop heard after (ms):" << delays;
    QVERIFY2(*std::max_element(delays.cbegin(), delays.cend()) <= 400.0, qPrintable(QString::number(delays.last())));
}

QTEST_GUILESS_MAIN(TestPlayback)
#include "tst_playback.moc"
