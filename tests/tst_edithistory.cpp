#include "audio/edithistory.h"
#include "audio/editops.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

class TestEditHistory : public QObject
{
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void matchesWholeStoreCopies();
    void holdsOnlyTheRegions();
    void neverWritesAReplacedStore();
};

void TestEditHistory::steps_data()
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
void TestEditHistory::steps()
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
void TestEditHistory::matchesWholeStoreCopies()
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

void TestEditHistory::holdsOnlyTheRegions()
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

void TestEditHistory::neverWritesAReplacedStore()
{
    QByteArray store(2000, 'a');
    EditHistory history;
    history.recordEdit(store, 1000, 100);
    QByteArray smaller(500, 'b');
    QVERIFY(!history.undo(smaller).acted);
    QCOMPARE(smaller, QByteArray(500, 'b'));
    QCOMPARE(history.undoCount(), 0);
}

QTEST_GUILESS_MAIN(TestEditHistory)
#include "tst_edithistory.moc"
