#include "audio/playbackreader.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <functional>

namespace {

constexpr int kRate = 44100;

QByteArray makeStore(qint64 frameCount, int channels, const std::function<double(qint64, int)> &value)
{
    QByteArray store(frameCount * channels * 2, Qt::Uninitialized);
    for (qint64 f = 0; f < frameCount; ++f)
        for (int c = 0; c < channels; ++c)
            qToLittleEndian<qint16>(qint16(std::lround(value(f, c))), store.data() + (f * channels + c) * 2);
    return store;
}

// Values that differ in every byte from frame to frame and channel to channel.
QByteArray noise(qint64 frameCount, int channels)
{
    return makeStore(frameCount, channels,
                     [](qint64 f, int c) { return double((f * 7919 + c * 104729) % 65536 - 32768); });
}

QByteArray tone(double seconds, double hz, double amplitude)
{
    return makeStore(qint64(seconds * kRate), 2,
                     [=](qint64 f, int) { return amplitude * std::sin(2 * M_PI * hz * double(f) / kRate); });
}

qint16 sampleAt(const QByteArray &bytes, qint64 frame, int channels, int channel)
{
    return qFromLittleEndian<qint16>(bytes.constData() + (frame * channels + channel) * 2);
}

QByteArray readAll(PlaybackReader &reader, qint64 chunk, qint64 limit)
{
    QByteArray out;
    QByteArray buffer(chunk, Qt::Uninitialized);
    for (qint64 got; out.size() < limit && (got = reader.read(buffer.data(), chunk)) > 0;)
        out.append(buffer.constData(), got);
    return out;
}

} // namespace

class TestPlaybackReader : public QObject
{
    Q_OBJECT

private slots:
    void passesBytesThrough_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("chunk");
        QTest::newRow("stereo in reads of 4410 bytes") << noise(20000, 2) << 2 << 4410;
        QTest::newRow("stereo in odd reads of 7 bytes") << noise(5000, 2) << 2 << 7;
        QTest::newRow("mono in odd reads of 1001 bytes") << noise(20001, 1) << 1 << 1001;
        QTest::newRow("empty store") << QByteArray() << 2 << 4410;
    }

    void passesBytesThrough()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, channels);
        QFETCH(int, chunk);
        PlaybackReader reader(&store, channels, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        QCOMPARE(readAll(reader, chunk, store.size() + 1000), store);
        char byte;
        QCOMPARE(reader.read(&byte, 1), 0);
        QVERIFY(reader.atEnd());
        QCOMPARE(reader.sourceBytePos(), store.size());
    }

    void playsEditsMadeInPlace()
    {
        QByteArray store = noise(4000, 2);
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        QByteArray out = readAll(reader, 1000, 1000);
        std::fill(store.begin() + 2000, store.begin() + 3000, '\0');
        store.append(noise(500, 2));
        out += readAll(reader, 1000, store.size());
        QCOMPARE(out, store);
    }

    void mutesChannels_data()
    {
        QTest::addColumn<bool>("muteLeft");
        QTest::addColumn<bool>("muteRight");
        QTest::newRow("left muted") << true << false;
        QTest::newRow("right muted") << false << true;
    }

    void mutesChannels()
    {
        QFETCH(bool, muteLeft);
        QFETCH(bool, muteRight);
        QByteArray store = noise(9000, 2);
        const QByteArray original = store;
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setChannelMute(muteLeft, muteRight);
        const QByteArray out = readAll(reader, 3001, store.size() + 1000);
        QCOMPARE(out.size(), store.size());
        QCOMPARE(store, original);
        for (qint64 f = 0; f < 9000; ++f) {
            QCOMPARE(sampleAt(out, f, 2, 0), muteLeft ? 0 : sampleAt(store, f, 2, 0));
            QCOMPARE(sampleAt(out, f, 2, 1), muteRight ? 0 : sampleAt(store, f, 2, 1));
        }
    }

    void loopsRegion_data()
    {
        QTest::addColumn<qlonglong>("startMs");
        QTest::addColumn<qlonglong>("endMs");
        QTest::addColumn<qint64>("loopStart"); // frames; -1: no loop
        QTest::addColumn<qint64>("loopEnd");
        QTest::newRow("region inside") << 100LL << 334LL << qint64(4410) << qint64(14729);
        QTest::newRow("region past the end is clamped") << 400LL << 10000LL << qint64(17640) << qint64(22050);
        QTest::newRow("region before the start is clamped") << -200LL << 100LL << qint64(0) << qint64(4410);
        QTest::newRow("7 ms region") << 101LL << 108LL << qint64(4454) << qint64(4762);
        QTest::newRow("end before start does not loop") << 300LL << 100LL << qint64(-1) << qint64(-1);
        QTest::newRow("empty region does not loop") << 200LL << 200LL << qint64(-1) << qint64(-1);
    }

    void loopsRegion()
    {
        QFETCH(qlonglong, startMs);
        QFETCH(qlonglong, endMs);
        QFETCH(qint64, loopStart);
        QFETCH(qint64, loopEnd);
        const double amplitude = 20000, hz = 440;
        QByteArray store = tone(0.5, hz, amplitude);
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setLoopRegion(true, startMs, endMs);
        const QByteArray out = readAll(reader, 4410, 3 * store.size());

        // No seam may step further than the sine itself does.
        int largest = 0;
        for (qint64 f = 1; f < out.size() / 4; ++f)
            largest = qMax(largest, std::abs(sampleAt(out, f, 2, 0) - sampleAt(out, f - 1, 2, 0)));
        QVERIFY2(largest < 1.3 * amplitude * 2 * M_PI * hz / kRate, qPrintable(QString::number(largest)));

        if (loopStart < 0) {
            QCOMPARE(out, store);
            QVERIFY(reader.atEnd());
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

    void stretchKeepsPitch_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("2.0x") << 2.0;
        QTest::newRow("0.5x") << 0.5;
    }

    void stretchKeepsPitch()
    {
        QFETCH(double, speed);
        QByteArray store = tone(10.0, 1000, 10000);
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setSpeed(speed);
        const QByteArray out = readAll(reader, 4410, 30 * kRate * 4);
        char byte;
        QCOMPARE(reader.read(&byte, 1), 0);
        QVERIFY(reader.atEnd());

        // Everything is played, the stretcher's tail included.
        const qint64 frames = out.size() / 4;
        const double seconds = double(frames) / kRate;
        QVERIFY2(std::abs(seconds * speed / 10.0 - 1.0) < 0.005, qPrintable(QString::number(seconds)));
        qint64 first = -1, last = -1, crossings = 0;
        for (qint64 f = frames / 4; f < 3 * frames / 4; ++f) {
            if (sampleAt(out, f - 1, 2, 0) < 0 && sampleAt(out, f, 2, 0) >= 0) {
                first = first < 0 ? f : first;
                last = f;
                ++crossings;
            }
        }
        QVERIFY(crossings > 100);
        const double hz = double(crossings - 1) * kRate / double(last - first);
        QVERIFY2(std::abs(hz / 1000.0 - 1.0) < 0.02, qPrintable(QString::number(hz)));
    }

    void seeksInSource_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("mid-way") << 1.0 << qint64(40000) << qint64(40000);
        QTest::newRow("inside a frame rounds down") << 1.0 << qint64(40003) << qint64(40000);
        QTest::newRow("past the end") << 1.0 << qint64(90000) << qint64(80000);
        QTest::newRow("mid-way at 2.0x") << 2.0 << qint64(40000) << qint64(40000);
    }

    void seeksInSource()
    {
        QFETCH(double, speed);
        QFETCH(qint64, offset);
        QFETCH(qint64, expected);
        QByteArray store = noise(20000, 2);
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setSpeed(speed);
        readAll(reader, 1000, 8000);
        reader.seekToSourceByte(offset);
        QCOMPARE(reader.sourceBytePos(), expected);
        const qint64 seekedAt = reader.outputBytesPulled();
        const QByteArray after = readAll(reader, 1000, 4000);
        // What the stretcher held from before the seek is not played.
        QVERIFY(std::abs(reader.sourceBytesAtOutput(seekedAt) - expected) <= 4 * kRate / 100);
        if (speed == 1.0) {
            QCOMPARE(after, store.mid(expected, 4000));
            QCOMPARE(reader.sourceBytesAtOutput(500), 500);
            QCOMPARE(reader.sourceBytesAtOutput(seekedAt + 400), qMin(expected + 400, qint64(store.size())));
        }
    }

    void positionFollowsTheSound_data()
    {
        QTest::addColumn<double>("speedBefore");
        QTest::addColumn<double>("speedAfter"); // from the second second of output on
        QTest::addColumn<bool>("loop");
        QTest::newRow("1.0 then 2.0") << 1.0 << 2.0 << false;
        QTest::newRow("1.0 then 0.5") << 1.0 << 0.5 << false;
        QTest::newRow("2.0 then 1.0") << 2.0 << 1.0 << false;
        QTest::newRow("looping at 1.5") << 1.5 << 1.5 << true;
    }

    void positionFollowsTheSound()
    {
        QFETCH(double, speedBefore);
        QFETCH(double, speedAfter);
        QFETCH(bool, loop);
        // 10 ms bursts of a 1 kHz tone every 400 ms, starting at 250 ms.
        const qint64 every = kRate * 400 / 1000, first = kRate / 4, burst = kRate / 100;
        QByteArray store = makeStore(8 * kRate, 2, [=](qint64 f, int) {
            const qint64 in = (f - first) % every;
            return f >= first && in < burst ? 20000 * std::sin(2 * M_PI * 1000 * double(in) / kRate) : 0.0;
        });
        PlaybackReader reader(&store, 2, kRate);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        reader.setSpeed(speedBefore);
        reader.setLoopRegion(loop, 1200, 2800);
        QByteArray out = readAll(reader, 3528, kRate * 4);
        // The new speed goes on from the sample last heard, not from how far
        // the stretcher had read.
        const qint64 lastHeard = reader.sourceBytesAtOutput(reader.outputBytesPulled());
        reader.setSpeed(speedAfter);
        QVERIFY(std::abs(reader.sourceBytePos() - lastHeard) <= 4 * kRate * 10 / 1000);
        out += readAll(reader, 3528, kRate * 4 * 7);

        // A stretcher can skip or repeat the very start of a burst, so single
        // bursts may be off by a few tens of ms; most must be close.
        QList<qint64> errorsMs;
        qint64 loudAt = -kRate;
        for (qint64 f = 0; f < out.size() / 4; ++f) {
            if (std::abs(sampleAt(out, f, 2, 0)) < 2000)
                continue;
            if (f - loudAt > kRate / 10) {
                const qint64 heard = reader.sourceBytesAtOutput(f * 4) / 4;
                const qint64 nearest = first + std::llround(double(heard - first) / every) * every;
                errorsMs.append(std::abs(heard - nearest) * 1000 / kRate);
            }
            loudAt = f;
        }
        QVERIFY(errorsMs.size() >= 10);
        std::sort(errorsMs.begin(), errorsMs.end());
        const qint64 median = errorsMs.at(errorsMs.size() / 2);
        QVERIFY2(median <= 15 && errorsMs.last() < 60,
                 qPrintable(QStringLiteral("median %1 ms, worst %2 ms").arg(median).arg(errorsMs.last())));
    }
};

QTEST_GUILESS_MAIN(TestPlaybackReader)
#include "tst_playbackreader.moc"
