// Edits on the sample store: which frames a selection covers, what each
// operation writes there, and undo/redo of them.

#include "audio/edithistory.h"
#include "audio/editops.h"
#include "audiofixtures.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

enum class Op { Silence, Tone, Normalize, TrimPeaks };

EditResult apply(Op op, QByteArray &store, const EditRegion &region)
{
    return op == Op::Silence     ? silenceRegion(store, region)
           : op == Op::Tone      ? toneRegion(store, region, 300.0)
           : op == Op::Normalize ? normalizeRegion(store, region, -1.0)
                                 : trimPeaksRegion(store, region, 0.707);
}

} // namespace

Q_DECLARE_METATYPE(Op)

class TestEdits : public QObject
{
    Q_OBJECT

private slots:
    void regionMapping_data()
    {
        QTest::addColumn<qint64>("storeBytes");
        QTest::addColumn<qlonglong>("startMs");
        QTest::addColumn<qlonglong>("endMs");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<qint64>("firstSample");
        QTest::addColumn<qint64>("limitSample");

        // 44.1 kHz stereo: one second is 176 400 bytes, 88 200 samples.
        const qint64 second = 44100 * 4;
        QTest::newRow("7 to 8 ms: down to frames 308 and 352") << second << 7LL << 8LL << true << 616LL << 704LL;
        QTest::newRow("past the end: up to the last whole frame")
            << second + 3 << 500LL << 5000LL << true << 44100LL << 88200LL;
        QTest::newRow("before 0: from 0") << second << -500LL << 1LL << true << 0LL << 88LL;
        QTest::newRow("the largest end time does not overflow")
            << second << 0LL << std::numeric_limits<qlonglong>::max() << true << 0LL << 88200LL;
        QTest::newRow("empty store: no edit") << qint64(0) << 0LL << 10LL << false << 0LL << 0LL;
    }

    void regionMapping()
    {
        QFETCH(qint64, storeBytes);
        QFETCH(qlonglong, startMs);
        QFETCH(qlonglong, endMs);
        const EditRegion region = mapEditRegion(storeBytes, 44100, 2, startMs, endMs, -1);
        QTEST(region.acts, "acts");
        QTEST(region.firstSample, "firstSample");
        QTEST(region.limitSample, "limitSample");
    }

    void writes_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("selector");
        QTest::addColumn<qlonglong>("startMs"); // at 1 kHz a frame is a millisecond
        QTest::addColumn<qlonglong>("endMs");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("log");

        const QString silenced = QStringLiteral("DSP: Region Silenced.");
        const QByteArray four = fixtures::s16({1, 2, 3, 4, 5, 6, 7, 8});
        QTest::newRow("silence frames 1 and 2 of four, right only") << Op::Silence << 2 << 1 << 1LL << 3LL << four
            << fixtures::s16({1, 2, 3, 0, 5, 0, 7, 8}) << silenced;
        QTest::newRow("silence, three channels: the third kept") << Op::Silence << 3 << -1 << 0LL << 9LL << four
            << fixtures::s16({0, 0, 3, 0, 0, 6, 7, 8}) << silenced;
        QTest::newRow("silence past the end keeps a part frame") << Op::Silence << 2 << -1 << 3LL << 9LL
            << four + '\x7f' << fixtures::s16({1, 2, 3, 4, 5, 6, 0, 0}) + '\x7f' << silenced;
        QTest::newRow("300 Hz tone from the region's start, right only") << Op::Tone << 2 << 1 << 2LL << 4LL << four
            << fixtures::s16({1, 2, 3, 4, 5, 0, 7, 15216}) << "DSP: Tone Applied.";
        QTest::newRow("normalise: a peak of 16384 is raised to 29203") << Op::Normalize << 2 << -1 << 0LL << 9LL
            << fixtures::s16({16384, -16384, 100, -100}) << fixtures::s16({29203, -29203, 178, -178})
            << "DSP: Normalized (Gain: 1.78245)";
        QTest::newRow("normalise left, with the peak in the right channel") << Op::Normalize << 2 << 0 << 0LL << 9LL
            << fixtures::s16({8192, 16384, -4096, 0}) << fixtures::s16({14601, 16384, -7300, 0})
            << "DSP: Normalized (Gain: 1.78245)";
        QTest::newRow("normalise silence: nothing written, nothing logged") << Op::Normalize << 2 << -1 << 0LL << 9LL
            << fixtures::s16({0, 0, 0, 0}) << fixtures::s16({0, 0, 0, 0}) << QString();
        QTest::newRow("trim peaks at 23166") << Op::TrimPeaks << 1 << -1 << 0LL << 9LL
            << fixtures::s16({30000, -30000, -23166, 23167, 23166, -23167, 32767, -32768, 5})
            << fixtures::s16({23166, -23166, -23166, 23166, 23166, -23166, 23166, -23166, 5})
            << "DSP: Peaks Trimmed.";
    }

    void writes()
    {
        QFETCH(Op, op);
        QFETCH(int, channels);
        QFETCH(int, selector);
        QFETCH(qlonglong, startMs);
        QFETCH(qlonglong, endMs);
        QFETCH(QByteArray, before);
        const EditRegion region = mapEditRegion(before.size(), 1000, channels, startMs, endMs, selector);
        const EditResult result = apply(op, before, region);
        QTEST(before, "after");
        QTEST(result.logLine, "log");
        QCOMPARE(result.written, !result.logLine.isEmpty());
    }

    // Random loads, edits, undos and redos beside a history of whole copies:
    // after every move the bytes match, nothing outside the named range changed
    // and the move says what it did. Right after a load there is one undo, to
    // the loaded audio.
    void matchesWholeStoreCopies()
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
                history.recordLoad(store.size());
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
                const auto op = Op(random.bounded(4));
                apply(op, store, region);
                apply(op, expected, region);
            } else {
                const int from = pick < 80 ? 0 : 1;
                const QByteArray before = store;
                const HistoryMove move = from == 0 ? history.undo(store) : history.redo(store);
                QCOMPARE(move.acted, !copies[from].isEmpty());
                QCOMPARE(move.logLine, move.acted ? QString(from == 0 ? "Action: Undo" : "Action: Redo") : QString());
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

    // A 1 MB store's reserve holds six of these edits: pieces cut from it
    // must not overlap, and the edits after it map their own.
    void editsFromTheReserveKeepTheirOwnBytes()
    {
        QByteArray store(1 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < store.size(); ++i)
            store[i] = char(i % 251);
        EditHistory history;
        history.recordLoad(store.size());
        QList<QByteArray> states{store};
        for (int n = 0; n < 9; ++n) {
            history.recordEdit(store, n * 50'000, 20'000);
            std::fill_n(store.data() + n * 50'000, 20'000, char(n + 1));
            states.append(store);
        }
        for (int n = 8; n >= 0; --n) {
            QVERIFY(history.undo(store).acted);
            QVERIFY2(store == states[n], qPrintable(QStringLiteral("undo to state %1").arg(n)));
        }
    }

    void neverWritesAReplacedStore()
    {
        QByteArray store(2000, 'a');
        EditHistory history;
        history.recordEdit(store, 1000, 100);
        QByteArray smaller(500, 'b');
        QVERIFY(!history.undo(smaller).acted);
        QCOMPARE(smaller, QByteArray(500, 'b'));
        QCOMPARE(history.undoCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEdits)
#include "tst_edits.moc"
