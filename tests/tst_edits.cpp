// Edits on the sample store: which frames a selection covers, what each
// operation writes there, and undo/redo of them.

#include "audio/edithistory.h"
#include "audio/editops.h"
#include "audiofixtures.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QtMath>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

enum class Op { Silence, Tone, Normalize, TrimPeaks };

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

class TestEdits : public QObject
{
    Q_OBJECT

private slots:
    void regionMapping_data();
    void regionMapping();
    void writesOnlyTheSelection_data();
    void writesOnlyTheSelection();
    void knownValues_data();
    void knownValues();
    void steps_data();
    void steps();
    void matchesWholeStoreCopies();
    void holdsOnlyTheRegions();
    void neverWritesAReplacedStore();
};

void TestEdits::regionMapping_data()
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

void TestEdits::regionMapping()
{
    QFETCH(qint64, storeBytes);
    QFETCH(qlonglong, startMs);
    QFETCH(qlonglong, endMs);
    const EditRegion region = mapEditRegion(storeBytes, 44100, 2, startMs, endMs, -1);
    QTEST(region.acts, "acts");
    QTEST(region.firstSample, "firstSample");
    QTEST(region.limitSample, "limitSample");
}

void TestEdits::writesOnlyTheSelection_data()
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
void TestEdits::writesOnlyTheSelection()
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
    QByteArray store = fixtures::s16(values) + stray;
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

void TestEdits::knownValues_data()
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
void TestEdits::knownValues()
{
    QFETCH(Op, op);
    QFETCH(int, selector);
    QFETCH(QList<int>, before);
    QByteArray store = fixtures::s16(before);
    const EditRegion region = mapEditRegion(store.size(), 1000, 2, 0, 1000, selector);
    const EditResult result = op == Op::Normalize ? normalizeRegion(store, region, -1.0)
                                                  : trimPeaksRegion(store, region, 0.707);
    QTEST(decode(store), "after");
    QTEST(result.logLine, "log");
    QCOMPARE(result.written, !result.logLine.isEmpty());
}

void TestEdits::steps_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("editsInEffect");
    QTest::addColumn<QString>("lastLog");

    const QString undo = QStringLiteral("Action: Undo");
    QTest::newRow("after a load, undo acts and changes nothing") << "u" << QList<int>{} << undo;
    QTest::newRow("a second undo after a load does nothing") << "u u" << QList<int>{} << QString();
    QTest::newRow("then redo acts") << "u u r" << QList<int>{} << QStringLiteral("Action: Redo");
    QTest::newRow("two undos after an edit both reach the loaded audio") << "e u u" << QList<int>{} << undo;
    QTest::newRow("eleven edits: an eleventh undo does nothing")
        << QStringLiteral("e ").repeated(11) + QStringLiteral("u ").repeated(11) << QList<int>{1} << QString();
    QTest::newRow("clear forgets every step") << "e u c r u" << QList<int>{} << QString();
}

// Edit n writes n into sample n - 1 of silence, so the samples that are not 0
// name the edits in effect; c clears the history.
void TestEdits::steps()
{
    QFETCH(QString, script);
    QByteArray store(2 * 12, '\0');
    EditHistory history;
    history.recordLoad();
    int edits = 0;
    HistoryMove last;
    for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("e")) {
            history.recordEdit(store, 2 * edits, 2);
            qToLittleEndian<qint16>(qint16(edits + 1), store.data() + 2 * edits);
            ++edits;
        } else if (step == QLatin1String("c")) {
            history.clear();
        } else {
            last = step == QLatin1String("u") ? history.undo(store) : history.redo(store);
        }
    }
    QList<int> inEffect;
    for (int i = 0; i < 12; ++i) {
        if (const int sample = qFromLittleEndian<qint16>(store.constData() + 2 * i))
            inEffect.append(sample);
    }
    QTEST(inEffect, "editsInEffect");
    QTEST(last.logLine, "lastLog");
    QCOMPARE(last.acted, !last.logLine.isEmpty());
}

// Random loads, edits, undos and redos beside a history of whole copies:
// after every move the bytes match and nothing outside the named range changed.
void TestEdits::matchesWholeStoreCopies()
{
    QRandomGenerator random(6);
    EditHistory history;
    QList<QByteArray> copies[2]; // undo, redo
    QByteArray store, expected;
    int channels = 1;
    for (int round = 0; round < 6000; ++round) {
        const int pick = round == 0 ? 0 : random.bounded(100);
        if (pick < 3) {
            channels = random.bounded(1, 3);
            store.resize(random.bounded(2, 600 * channels));
            std::generate(store.begin(), store.end(), [&] { return char(random.bounded(256)); });
            expected = store;
            history.recordLoad();
            copies[0] = {expected};
            copies[1].clear();
        } else if (pick < 55) {
            const qlonglong start = random.bounded(-50, 350);
            const EditRegion region = mapEditRegion(store.size(), 1000, channels, start,
                                                    start + random.bounded(-5, 120), random.bounded(-1, 2));
            if (!region.acts)
                continue;
            history.recordEdit(store, region.byteOffset(), region.byteLength());
            copies[0].append(expected);
            if (copies[0].size() > 10)
                copies[0].removeFirst();
            copies[1].clear();
            const int kind = random.bounded(4);
            for (QByteArray *b : {&store, &expected})
                kind == 0 ? silenceRegion(*b, region) : kind == 1 ? toneRegion(*b, region, 1000.0)
                    : kind == 2 ? normalizeRegion(*b, region, -1.0) : trimPeaksRegion(*b, region, 0.707);
        } else {
            const int from = pick < 80 ? 0 : 1;
            const QByteArray before = store;
            const HistoryMove move = from == 0 ? history.undo(store) : history.redo(store);
            QCOMPARE(move.acted, !copies[from].isEmpty());
            if (move.acted) {
                copies[1 - from].append(expected);
                expected = copies[from].takeLast();
            }
            QCOMPARE(store.first(move.byteOffset), before.first(move.byteOffset));
            QCOMPARE(store.mid(move.byteOffset + move.byteLength), before.mid(move.byteOffset + move.byteLength));
        }
        QVERIFY2(store == expected, qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(history.undoCount(), copies[0].size());
        QCOMPARE(history.redoCount(), copies[1].size());
    }
}

void TestEdits::holdsOnlyTheRegions()
{
    QByteArray store(1 << 20, '\x11');
    EditHistory history;
    history.recordLoad();
    for (int n = 0; n < 11; ++n)
        history.recordEdit(store, n * 1000, 100 + n);
    QCOMPARE(history.heldBytes(), 10 * 100 + 55); // the load's step and the first edit's are gone
    history.undo(store);
    history.recordEdit(store, store.size() - 10, 100); // cut to the store
    QCOMPARE(history.heldBytes(), 9 * 100 + 45 + 10);
}

void TestEdits::neverWritesAReplacedStore()
{
    QByteArray store(2000, 'a');
    EditHistory history;
    history.recordEdit(store, 1000, 100);
    QByteArray smaller(500, 'b');
    QVERIFY(!history.undo(smaller).acted);
    QCOMPARE(smaller, QByteArray(500, 'b'));
    QCOMPARE(history.undoCount(), 0);
}

QTEST_GUILESS_MAIN(TestEdits)
#include "tst_edits.moc"
