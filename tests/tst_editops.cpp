#include "audio/editops.h"

#include <QtEndian>
#include <QtMath>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

enum class Op { Silence, Tone, Normalize, TrimPeaks };

QByteArray encode(const QList<int> &values)
{
    QByteArray out(values.size() * 2, '\0');
    for (qsizetype i = 0; i < values.size(); ++i)
        qToLittleEndian<qint16>(qint16(values[i]), out.data() + 2 * i);
    return out;
}

QList<int> decode(const QByteArray &store)
{
    QList<int> values;
    for (qsizetype i = 0; i + 1 < store.size(); i += 2)
        values.append(qFromLittleEndian<qint16>(store.constData() + i));
    return values;
}

int truncated(double value) { return int(std::clamp(value, -32768.0, 32767.0)); }

} // namespace

Q_DECLARE_METATYPE(Op)

class TestEditOps : public QObject
{
    Q_OBJECT

private slots:
    void regionMapping_data();
    void regionMapping();
    void writesOnlyTheSelection_data();
    void writesOnlyTheSelection();
    void knownValues_data();
    void knownValues();
    void toneAt44100();
};

void TestEditOps::regionMapping_data()
{
    QTest::addColumn<qint64>("storeBytes");
    QTest::addColumn<qlonglong>("startMs");
    QTest::addColumn<qlonglong>("endMs");
    QTest::addColumn<bool>("acts");
    QTest::addColumn<qint64>("firstSample");
    QTest::addColumn<qint64>("limitSample");

    // 44.1 kHz stereo: one second is 176 400 bytes, 88 200 samples.
    const qint64 second = 44100 * 4;
    QTest::newRow("1000 to 1500 ms: frames 44100 to 66149") << 2 * second << 1000LL << 1500LL << true << 88200LL
                                                            << 132300LL;
    QTest::newRow("7 to 8 ms: down to frames 308 and 352") << second << 7LL << 8LL << true << 616LL << 704LL;
    QTest::newRow("past the end: up to the last whole frame")
        << second + 3 << 500LL << 5000LL << true << 44100LL << 88200LL;
    QTest::newRow("before 0: from 0") << second << -500LL << 1LL << true << 0LL << 88LL;
    QTest::newRow("wholly past the end: no frames, still an edit")
        << second << 3000LL << 4000LL << true << 88200LL << 88200LL;
    QTest::newRow("the largest end time does not overflow")
        << second << 0LL << std::numeric_limits<qlonglong>::max() << true << 0LL << 88200LL;
    QTest::newRow("empty store: no edit") << qint64(0) << 0LL << 10LL << false << 0LL << 0LL;
}

void TestEditOps::regionMapping()
{
    QFETCH(qint64, storeBytes);
    QFETCH(qlonglong, startMs);
    QFETCH(qlonglong, endMs);
    const EditRegion region = mapEditRegion(storeBytes, 44100, 2, startMs, endMs, -1);
    QTEST(region.acts, "acts");
    QTEST(region.firstSample, "firstSample");
    QTEST(region.limitSample, "limitSample");
}

void TestEditOps::writesOnlyTheSelection_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("selector");
    QTest::addColumn<qlonglong>("startMs");
    QTest::addColumn<QString>("log");

    const QString silenced = QStringLiteral("DSP: Region Silenced.");
    QTest::newRow("silence, stereo, both") << Op::Silence << 2 << -1 << 2LL << silenced;
    QTest::newRow("silence, mono, left") << Op::Silence << 1 << 0 << 2LL << silenced;
    QTest::newRow("silence, mono, right: nothing written, still logged") << Op::Silence << 1 << 1 << 2LL << silenced;
    QTest::newRow("silence, three channels: the third kept") << Op::Silence << 3 << -1 << 2LL << silenced;
    QTest::newRow("silence to past the end, where a part frame is kept") << Op::Silence << 2 << -1 << 6LL << silenced;
    QTest::newRow("300 Hz tone, stereo, both") << Op::Tone << 2 << -1 << 2LL << QStringLiteral("DSP: Tone Applied.");
    QTest::newRow("300 Hz tone, stereo, right") << Op::Tone << 2 << 1 << 2LL << QStringLiteral("DSP: Tone Applied.");
    QTest::newRow("normalise, stereo, left") << Op::Normalize << 2 << 0 << 2LL << QStringLiteral("DSP: Normalized");
    QTest::newRow("trim peaks, mono") << Op::TrimPeaks << 1 << -1 << 2LL << QStringLiteral("DSP: Peaks Trimmed.");
}

// 8 kHz, 64 frames (t ms is frame 8t) and bytes too few for one more frame.
void TestEditOps::writesOnlyTheSelection()
{
    QFETCH(Op, op);
    QFETCH(int, channels);
    QFETCH(int, selector);
    QFETCH(qlonglong, startMs);
    QFETCH(QString, log);
    const int frames = 64;
    QList<int> values;
    for (int i = 0; i < frames * channels; ++i)
        values.append(i * 1237 % 60001 - 30000);
    const QByteArray stray(2 * channels - 1, '\x7f');
    QByteArray store = encode(values) + stray;
    const EditRegion region = mapEditRegion(store.size(), 8000, channels, startMs, startMs + 3, selector);
    const EditResult result = op == Op::Silence ? silenceRegion(store, region)
        : op == Op::Tone                        ? toneRegion(store, region, 300.0)
        : op == Op::Normalize                   ? normalizeRegion(store, region, -1.0)
                                                : trimPeaksRegion(store, region, 0.707);
    QVERIFY(result.written);
    QVERIFY2(result.logLine.startsWith(log), qPrintable(result.logLine));
    QCOMPARE(store.right(stray.size()), stray);

    const int first = int(std::max(0LL, startMs * 8));
    const int last = int(std::min<qlonglong>(frames, (startMs + 3) * 8));
    int peak = 0;
    for (int i = first * channels; i < last * channels; ++i)
        peak = std::max(peak, std::abs(values[i]));
    const double gain = 32767.0 * std::pow(10.0, -1.0 / 20.0) / peak;
    QList<int> expected = values;
    for (int f = first; f < last; ++f) {
        for (int c = 0; c < std::min(channels, 2); ++c) {
            if (selector != -1 && selector != c)
                continue;
            int &s = expected[f * channels + c];
            if (op == Op::Silence)
                s = 0;
            else if (op == Op::Tone)
                s = truncated(std::sin(double(f - first) / 8000 * (300.0 * 2 * M_PI)) * 16000.0);
            else if (op == Op::Normalize)
                s = truncated(s * gain);
            else
                s = std::clamp(s, -23166, 23166);
        }
    }
    QCOMPARE(decode(store.chopped(stray.size())), expected);
}

void TestEditOps::knownValues_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("selector");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QString>("log");

    const QString raised = QStringLiteral("DSP: Normalized (Gain: 1.78245)");
    QTest::newRow("normalise: a peak of 16384 is raised to 29203") << Op::Normalize << -1
        << QList<int>{16384, -16384, 100, -100} << QList<int>{29203, -29203, 178, -178} << raised;
    QTest::newRow("normalise left, with the peak in the right channel") << Op::Normalize << 0
        << QList<int>{8192, 16384, -4096, 0} << QList<int>{14601, 16384, -7300, 0} << raised;
    QTest::newRow("normalise: a region louder than the target is turned down") << Op::Normalize << -1
        << QList<int>{32767, -32768} << QList<int>{29202, -29203} << QStringLiteral("DSP: Normalized (Gain: 0.891224)");
    QTest::newRow("normalise silence: nothing written, nothing logged")
        << Op::Normalize << -1 << QList<int>{0, 0, 0, 0} << QList<int>{0, 0, 0, 0} << QString();
    QTest::newRow("trim peaks at 23166") << Op::TrimPeaks << -1
        << QList<int>{30000, -30000, -23166, 23167, 23166, -23167, 32767, -32768, 5}
        << QList<int>{23166, -23166, -23166, 23166, 23166, -23166, 23166, -23166, 5}
        << QStringLiteral("DSP: Peaks Trimmed.");
}

// 1 kHz stereo, over the whole store.
void TestEditOps::knownValues()
{
    QFETCH(Op, op);
    QFETCH(int, selector);
    QFETCH(QList<int>, before);
    QByteArray store = encode(before);
    const EditRegion region = mapEditRegion(store.size(), 1000, 2, 0, 1000, selector);
    const EditResult result = op == Op::Normalize ? normalizeRegion(store, region, -1.0)
                                                  : trimPeaksRegion(store, region, 0.707);
    QTEST(decode(store), "after");
    QTEST(result.logLine, "log");
    QCOMPARE(result.written, !result.logLine.isEmpty());
}

void TestEditOps::toneAt44100()
{
    // 1 kHz over 1000-1010 ms, mono 44.1 kHz: 441 frames, phase 0 at the start.
    QByteArray store(44100 * 2 * 2, '\0');
    const EditRegion region = mapEditRegion(store.size(), 44100, 1, 1000, 1010, -1);
    QVERIFY(toneRegion(store, region, 1000.0).written);
    const QList<int> values = decode(store.mid(region.byteOffset(), region.byteLength()));
    QCOMPARE(values.size(), 441);
    QCOMPARE(values[0], 0);
    QCOMPARE(values[11], 15999);
    QCOMPARE(values[22], 113);
}

QTEST_GUILESS_MAIN(TestEditOps)
#include "tst_editops.moc"
