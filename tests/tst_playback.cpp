// What is played: the reader's bytes (mute, loop), then what the
// engine really sends to a null sink of this test's own, captured from its
// monitor (where it is heard from, how soon, at each file format).

#include "audio/audioengine.h"
#include "audio/outputconverter.h"
#include "audio/playbackreader.h"
#include "audiofixtures.h"
#include "monitorcapture.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace fixtures;

namespace {

constexpr int kRate = 44100;
constexpr int kLoud = 3000;

QByteArray pcm(qint64 frames, int channels, const std::function<double(qint64, int)> &value)
{
    QByteArray out(frames * channels * 2, Qt::Uninitialized);
    for (qint64 i = 0; i < frames * channels; ++i)
        qToLittleEndian<qint16>(qint16(std::lround(value(i / channels, int(i % channels)))), out.data() + i * 2);
    return out;
}

// Values that differ in every byte from frame to frame and channel to channel.
QByteArray noise(qint64 frames, int channels)
{
    return pcm(frames, channels, [](qint64 f, int c) { return double((f * 7919 + c * 104729) % 65536 - 32768); });
}

QByteArray tone(double seconds, int rate, int channels, double hz)
{
    return pcm(qint64(seconds * rate), channels, [=](qint64 f, int) { return 12000.0 * std::sin(2 * M_PI * hz * f / rate); });
}

QByteArray toneWav(double seconds) { return riff(fmtChunk(1, 2, kRate, 16) + chunk("data", tone(seconds, kRate, 2, 440.0))); }

qint16 sampleAt(const QByteArray &bytes, qint64 frame, int channels, int channel)
{
    return qFromLittleEndian<qint16>(bytes.constData() + (frame * channels + channel) * 2);
}

QByteArray readAll(QIODevice &reader, qint64 chunk, qint64 limit)
{
    QByteArray out;
    QByteArray buffer(chunk, Qt::Uninitialized);
    for (qint64 got; out.size() < limit && (got = reader.read(buffer.data(), chunk)) > 0;)
        out.append(buffer.constData(), got);
    return out;
}

// "48000 2 f32": rate, channels, and s16, s32 or f32.
QAudioFormat format(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    QAudioFormat f;
    f.setSampleRate(parts[0].toInt());
    f.setChannelCount(parts[1].toInt());
    f.setSampleFormat(parts[2] == "f32"   ? QAudioFormat::Float
                      : parts[2] == "s32" ? QAudioFormat::Int32
                                          : QAudioFormat::Int16);
    return f;
}

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sink = std::make_unique<NullSink>(QStringLiteral("orlenta_playback_%1").arg(QCoreApplication::applicationPid()));
        QVERIFY2(sink->isLoaded(), "no PulseAudio server to play to");
        // The device list follows the server a moment later.
        QVERIFY(QTest::qWaitFor([&]() {
            for (const QAudioDevice &device : QMediaDevices::audioOutputs())
                sinkDevice = device.id() == sink->name().toLatin1() ? device : sinkDevice;
            return !sinkDevice.isNull();
        }, 5000));
    }

    void init()
    {
        engine = std::make_unique<AudioEngine>();
        engine->setOutputDevice(sinkDevice);
        capture = std::make_unique<MonitorCapture>();
        QVERIFY(capture->start(sink->monitor()));
    }

    void cleanup()
    {
        engine.reset();
        capture.reset();
    }

    void readsTheStore_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("muteLeft");
        QTest::addColumn<bool>("muteRight");
        QTest::newRow("stereo in reads of 7 bytes") << noise(5000, 2) << 2 << 7 << false << false;
        QTest::newRow("empty store") << QByteArray() << 2 << 4410 << false << false;
        QTest::newRow("left muted") << noise(9000, 2) << 2 << 3001 << true << false;
        QTest::newRow("right muted, mono") << noise(9000, 1) << 1 << 3001 << false << true;
    }

    void readsTheStore()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, channels);
        QFETCH(int, chunk);
        QFETCH(bool, muteLeft);
        QFETCH(bool, muteRight);
        const QByteArray original = store;
        PlaybackReader reader(&store, channels, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setChannelMute(muteLeft, muteRight);
        const QByteArray out = readAll(reader, chunk, store.size() + 1000);
        char byte;
        QCOMPARE(reader.read(&byte, 1), 0);
        QVERIFY(reader.atEnd());
        QCOMPARE(reader.sourceBytePos(), store.size());
        QCOMPARE(store, original); // muting touches the output only
        QCOMPARE(out.size(), store.size());
        for (qint64 i = 0; i < store.size() / 2; ++i) {
            const bool muted = i % channels == 0 ? muteLeft : muteRight;
            QCOMPARE(sampleAt(out, i, 1, 0), muted ? 0 : sampleAt(store, i, 1, 0));
        }
    }

    void choosesAnOutputFormat_data()
    {
        QTest::addColumn<QString>("own");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("preferred");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("the file's own when taken") << "8000 1 s16" << QStringList{"8000 1 s16", "48000 2 f32"}
                                                   << "48000 2 f32" << "8000 1 s16";
        QTest::newRow("mono refused: the output's channels at the file's rate")
            << "8000 1 s16" << QStringList{"8000 2 s16", "48000 1 s16"} << "48000 2 s16" << "8000 2 s16";
        QTest::newRow("rate refused: the output's rate in the file's channels")
            << "96000 2 s16" << QStringList{"48000 2 s16", "48000 2 f32"} << "48000 2 f32" << "48000 2 s16";
        QTest::newRow("the file's rate in float before another rate")
            << "22050 1 s16" << QStringList{"22050 2 f32", "48000 2 s16"} << "48000 2 f32" << "22050 2 f32";
        QTest::newRow("nothing taken: the preferred format") << "44100 2 s16" << QStringList{} << "48000 6 s32"
                                                             << "48000 6 s32";
    }

    void choosesAnOutputFormat()
    {
        QFETCH(QString, own);
        QFETCH(QStringList, taken);
        QFETCH(QString, preferred);
        QFETCH(QString, chosen);
        const QAudioFormat result = chooseOutputFormat(format(own), format(preferred), [&](const QAudioFormat &f) {
            return std::any_of(taken.cbegin(), taken.cend(), [&](const QString &t) { return format(t) == f; });
        });
        QCOMPARE(result, format(chosen));
    }

    void convertsForAnOutputThatRefusesTheFile_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("output");
        QTest::newRow("8 kHz mono to 48 kHz stereo float") << 8000 << 1 << "48000 2 f32";
        QTest::newRow("96 kHz stereo to 44.1 kHz") << 96000 << 2 << "44100 2 s16";
        QTest::newRow("stereo to mono at the same rate") << 44100 << 2 << "44100 1 s16";
        QTest::newRow("22.05 kHz mono to six channels of 32-bit") << 22050 << 1 << "48000 6 s32";
        QTest::newRow("four channels to stereo") << 48000 << 4 << "48000 2 s16";
    }

    // A tone on the first channel only: it keeps its pitch and length, a mono
    // file is heard on both sides, channels beyond the output's are mixed in,
    // and the clock maps output back to the file. Read as some outputs do:
    // only what the converter says it has, to its end.
    void convertsForAnOutputThatRefusesTheFile()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, output);
        QByteArray store = pcm(rate, channels, [=](qint64 f, int c) {
            return c == 0 ? 12000.0 * std::sin(2 * M_PI * 1000.0 * f / rate) : 0.0;
        });
        PlaybackReader reader(&store, channels, rate);
        const QAudioFormat to = format(output);
        OutputConverter converter(&reader, rate, channels, to);
        QVERIFY(converter.isValid());
        QVERIFY(converter.open(QIODevice::ReadOnly));
        QByteArray out;
        for (int reads = 0; !converter.atEnd(); ++reads) {
            const qint64 offered = qMin<qint64>(converter.bytesAvailable(), 1001);
            QVERIFY2(offered > 0 && reads < 100000, "nothing offered before the end");
            out += converter.read(offered);
        }
        const qint64 frames = out.size() / to.bytesPerFrame();
        QVERIFY2(qAbs(frames - to.sampleRate()) <= 2, qPrintable(QString::number(frames)));
        const auto value = [&](qint64 frame, int c) {
            return to.normalizedSampleValue(out.constData() + frame * to.bytesPerFrame() + c * to.bytesPerSample());
        };
        int crossings = 0;
        float peak = 0;
        for (qint64 f = 1; f < frames; ++f) {
            crossings += value(f - 1, 0) < 0 && value(f, 0) >= 0;
            peak = qMax(peak, std::abs(value(f, 0)));
            for (int c = 1; c < to.channelCount(); ++c)
                QCOMPARE(value(f, c), channels == 1 && c == 1 ? value(f, 0) : 0.0f);
        }
        QVERIFY2(qAbs(crossings - 1000) <= 2, qPrintable(QString::number(crossings)));
        const float expected = 12000.0f / 32768 / float((channels + to.channelCount() - 1) / to.channelCount());
        QVERIFY2(qAbs(peak / expected - 1) < 0.05, qPrintable(QString::number(peak)));
        QCOMPARE(converter.sourceBytesAt(to.bytesForDuration(500000)), qint64(rate / 2 * 2 * channels));
    }

    void loopsRegion_data()
    {
        QTest::addColumn<qlonglong>("startMs");
        QTest::addColumn<qlonglong>("endMs");
        QTest::addColumn<qint64>("loopStart"); // frames; -1: no loop
        QTest::addColumn<qint64>("loopEnd");
        QTest::newRow("region inside") << 100LL << 334LL << qint64(4410) << qint64(14729);
        QTest::newRow("region past the end is clamped") << 400LL << 10000LL << qint64(17640) << qint64(22050);
        QTest::newRow("7 ms region: the fade is half of it") << 101LL << 108LL << qint64(4454) << qint64(4762);
        QTest::newRow("end before start does not loop") << 300LL << 100LL << qint64(-1) << qint64(-1);
    }

    void loopsRegion()
    {
        QFETCH(qlonglong, startMs);
        QFETCH(qlonglong, endMs);
        QFETCH(qint64, loopStart);
        QFETCH(qint64, loopEnd);
        QByteArray store = tone(0.5, kRate, 2, 440.0);
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setLoopRegion(true, startMs, endMs);
        const QByteArray out = readAll(reader, 4410, 3 * store.size());

        // No seam may step further than the sine itself does.
        int largest = 0;
        for (qint64 f = 1; f < out.size() / 4; ++f)
            largest = qMax(largest, std::abs(sampleAt(out, f, 2, 0) - sampleAt(out, f - 1, 2, 0)));
        QVERIFY2(largest < 1.3 * 12000 * 2 * M_PI * 440 / kRate, qPrintable(QString::number(largest)));
        if (loopStart < 0) {
            QCOMPARE(out, store);
            return;
        }
        QCOMPARE(out.size(), 3 * store.size());
        const qint64 fade = qMin<qint64>(kRate * kLoopCrossfadeMs / 1000, (loopEnd - loopStart) / 2);
        const qint64 period = loopEnd - loopStart - fade;
        QCOMPARE(out.left((loopEnd - fade) * 4), store.left((loopEnd - fade) * 4));
        // After each seam the head plays on from where the fade left it.
        for (qint64 from = loopEnd; from < loopEnd + 2 * period; from += period)
            QCOMPARE(out.mid(from * 4, (period - fade) * 4), store.mid((loopStart + fade) * 4, (period - fade) * 4));
    }

    void playsEachFormat_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("speed");
        QTest::newRow("mono 8 kHz") << 8000 << 1 << 1.0;
        QTest::newRow("stereo 48 kHz") << 48000 << 2 << 1.0;
        QTest::newRow("stereo 96 kHz") << 96000 << 2 << 1.0;
        QTest::newRow("stereo 44.1 kHz at 2.0x") << 44100 << 2 << 2.0;
        QTest::newRow("stereo 44.1 kHz at 0.5x") << 44100 << 2 << 0.5;
    }

    // Every file is heard whole, stretched by the speed, at its own
    // pitch whatever its rate or the speed, and a mono one on both sides.
    void playsEachFormat()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, speed);
        load(riff(fmtChunk(1, quint16(channels), quint32(rate), 16)
                  + chunk("data", tone(1.5, rate, channels, 1000.0))));
        engine->setPlaybackSpeed(speed);
        QSignalSpy stopped(engine.get(), &AudioEngine::playbackStopped);
        const qint64 heard = playUntilHeard();
        QVERIFY(heard >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
        QCOMPARE(engine->position(), engine->duration());
        QTest::qWait(300);
        // Counted in cycles, so a stall of the machine (a gap) does not count.
        const qint64 span = capture->lastLoud(heard, kLoud) + 1 - heard;
        const double cycles = capture->frequency(heard, span, 0) * double(span) / kRate;
        QVERIFY2(qAbs(cycles / (1500 / speed) - 1.0) < 0.03, qPrintable(QString::number(cycles)));
        const double hz = capture->frequency(heard + kRate / 4, kRate / 2, 0);
        QVERIFY2(qAbs(hz - 1000.0) < 20.0, qPrintable(QString::number(hz)));
        QVERIFY(capture->rms(heard + kRate / 4, kRate / 2, 1) > 5000);
    }

    void playPauseResumeStop_data()
    {
        QTest::addColumn<int>("pauseAfterSeekMs");
        QTest::newRow("paused at once after a seek") << 0;
        QTest::newRow("paused half a second after a seek") << 500;
    }

    void playPauseResumeStop()
    {
        load(toneWav(12.0));
        engine->seek(10000);
        QVERIFY(playUntilHeard() >= 0);
        QTest::qWait(1000);
        QFETCH(int, pauseAfterSeekMs);
        engine->seek(3000);
        QTest::qWait(pauseAfterSeekMs);
        // A pause soon after a seek keeps the new place, not the one before it.
        engine->pause();
        QVERIFY(!engine->isPlaying());
        const qlonglong paused = engine->position();
        QVERIFY2(qAbs(paused - 3000 - pauseAfterSeekMs) < 300, qPrintable(QString::number(paused)));
        QTest::qWait(400);
        QCOMPARE(engine->position(), paused);

        engine->play();
        QTRY_VERIFY(engine->position() > paused + 200);
        QVERIFY(engine->position() < paused + 2000); // resumed, not restarted or skipped

        engine->stop();
        QCOMPARE(engine->position(), 0LL);
        QTest::qWait(300);
        // The capture is read as it arrives, so its length marks the press.
        const qint64 pressed = capture->frames();
        const qint64 heard = playUntilHeard();
        QVERIFY(heard >= 0);
        QVERIFY2(heard - pressed <= kRate * 4 / 10, qPrintable(QString::number(heard - pressed)));
        QVERIFY(engine->position() < 1500);
    }

    void theClockFollowsWhatIsHeard_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("at 1.0x") << 1.0;
        QTest::newRow("at 2.0x, nothing the stretcher held is played after a seek") << 2.0;
    }

    // The position when a click is heard is the click's own; after a seek
    // the new place is heard at once.
    void theClockFollowsWhatIsHeard()
    {
        QFETCH(double, speed);
        engine->setPlaybackSpeed(speed);
        // Silence with a click at exactly 2.000 s; 1000 Hz from 5 s on.
        load(riff(fmtChunk(1, 2, kRate, 16) + chunk("data", pcm(8 * kRate, 2, [](qint64 f, int) {
                      if (f >= 5 * kRate)
                          return 12000.0 * std::sin(2 * M_PI * 1000.0 * double(f) / kRate);
                      return f >= 2 * kRate && f < 2 * kRate + 22 ? 20000.0 : 0.0;
                  }))));
        qlonglong whenHeard = -1;
        connect(capture.get(), &MonitorCapture::arrived, this, [&]() {
            if (whenHeard < 0 && capture->firstLoud(0, kLoud) >= 0)
                whenHeard = engine->position();
        });
        engine->play();
        QTRY_VERIFY_WITH_TIMEOUT(whenHeard >= 0, 10000);
        QVERIFY2(qAbs(whenHeard - 2000) <= 60, qPrintable(QString::number(whenHeard)));

        engine->seek(6000);
        const qint64 seekedAt = capture->frames();
        QTRY_VERIFY(capture->frames() > seekedAt + 2 * kRate);
        // The new point is what plays once the stream moves again: a stream
        // started afresh on this sound server can stall for a second or more.
        const qint64 moved = capture->firstLoud(seekedAt, kLoud);
        QVERIFY2(moved >= 0 && moved - seekedAt <= kRate * 3 / 2, qPrintable(QString::number(moved - seekedAt)));
        const double hz = capture->frequency(moved + kRate / 20, kRate / 2, 0);
        QVERIFY2(qAbs(hz - 1000.0) < 20.0, qPrintable(QString::number(hz)));
    }

    void anUnderrunDoesNotStopTheClock()
    {
        load(toneWav(8.0));
        QSignalSpy stopped(engine.get(), &AudioEngine::playbackStopped);
        QVERIFY(playUntilHeard() >= 0);
        QTRY_VERIFY(engine->position() > 300);
        // Two stalls of the event loop, each far longer than the stream's buffer.
        for (int stall = 0; stall < 2; ++stall) {
            for (const QDeadlineTimer busy(600); !busy.hasExpired();) {
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
    }

private:
    void load(const QByteArray &wav)
    {
        const QString path = dir.filePath(QStringLiteral("%1.wav").arg(QTest::currentTestFunction()));
        QVERIFY(writeFile(path, wav));
        QVERIFY(engine->loadFile(path));
    }

    // The capture frame where sound first arrives, or -1.
    qint64 playUntilHeard()
    {
        const qint64 before = capture->frames();
        engine->play();
        qint64 heard = -1;
        // The null sink takes a moment to start pulling.
        return QTest::qWaitFor([&]() { return (heard = capture->firstLoud(before, kLoud)) >= 0; }, 8000) ? heard : -1;
    }

    QTemporaryDir dir;
    std::unique_ptr<NullSink> sink;
    QAudioDevice sinkDevice;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<MonitorCapture> capture;
};

QTEST_GUILESS_MAIN(TestPlayback)
#include "tst_playback.moc"
