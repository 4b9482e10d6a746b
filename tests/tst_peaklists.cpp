#include "audio/peaklists.h"

#include <QtTest>

namespace {

// count frames of `channels` samples, sample value = frame index per channel
// plus the channel number, so each taken value names where it came from.
QByteArray frames(int count, int channels, int extraBytes = 0)
{
    QByteArray store;
    for (int frame = 0; frame < count; ++frame) {
        for (int c = 0; c < channels; ++c) {
            const qint16 value = qint16(frame + 1000 * c);
            store.append(char(value & 0xff));
            store.append(char((value >> 8) & 0xff));
        }
    }
    store.append(QByteArray(extraBytes, '\x7f'));
    return store;
}

QList<double> scaled(const QList<int> &values)
{
    QList<double> out;
    for (int v : values)
        out << v / 32768.0;
    return out;
}

} // namespace

class TestPeakLists : public QObject
{
    Q_OBJECT

private slots:
    void decimates_data();
    void decimates();
    void scalesFullRange();
    void refreshesOnlyWhatChanged_data();
    void refreshesOnlyWhatChanged();
};

void TestPeakLists::decimates_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QList<double>>("left");
    QTest::addColumn<QList<double>>("right");

    QTest::newRow("stereo 1000 frames: frames 0 and 500")
        << frames(1000, 2) << 2 << scaled({0, 500}) << scaled({1000, 1500});
    QTest::newRow("stereo 1001 frames: frames 0, 500 and 1000")
        << frames(1001, 2) << 2 << scaled({0, 500, 1000}) << scaled({1000, 1500, 2000});
    QTest::newRow("mono has no right list") << frames(1001, 1) << 1 << scaled({0, 500, 1000}) << QList<double>();
    QTest::newRow("empty store") << QByteArray() << 2 << QList<double>() << QList<double>();
    QTest::newRow("a half frame at the end gives no value")
        << frames(500, 2, 2) << 2 << scaled({0}) << scaled({1000});
    QTest::newRow("a stray byte at the end is ignored")
        << frames(501, 1, 1) << 1 << scaled({0, 500}) << QList<double>();
    QTest::newRow("three channels: only the first two count")
        << frames(501, 3) << 3 << scaled({0, 500}) << scaled({1000, 1500});
    QTest::newRow("no channels gives nothing") << frames(10, 1) << 0 << QList<double>() << QList<double>();
}

void TestPeakLists::decimates()
{
    QFETCH(QByteArray, store);
    QFETCH(int, channels);
    QFETCH(QList<double>, left);
    QFETCH(QList<double>, right);
    const PeakLists lists = buildPeakLists(store, channels);
    QCOMPARE(lists.left, left);
    QCOMPARE(lists.right, right);
}

void TestPeakLists::scalesFullRange()
{
    QByteArray store;
    store.append("\x00\x80\xff\x7f", 4); // -32768, 32767
    const PeakLists lists = buildPeakLists(store, 2);
    QCOMPARE(lists.left, QList<double>{-1.0});
    QCOMPARE(lists.right, QList<double>{0.999969482421875});
}

void TestPeakLists::refreshesOnlyWhatChanged_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("length");
    QTest::newRow("a region over several taken frames") << 2 << qint64(4 * 700) << qint64(4 * 1800);
    QTest::newRow("exactly one taken frame") << 2 << qint64(4 * 1000) << qint64(4);
    QTest::newRow("between two taken frames") << 2 << qint64(4 * 501) << qint64(4 * 400);
    QTest::newRow("mono to the end") << 1 << qint64(2 * 1200) << qint64(2 * 10000);
    QTest::newRow("the right sample alone") << 2 << qint64(4 * 1500 + 2) << qint64(2);
}

void TestPeakLists::refreshesOnlyWhatChanged()
{
    QFETCH(int, channels);
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    QByteArray store = frames(3001, channels);
    PeakLists lists = buildPeakLists(store, channels);
    const qint64 end = qMin<qint64>(offset + length, store.size());
    for (qint64 b = offset; b < end; ++b)
        store[b] = char(0x55);
    refreshPeakLists(lists, store, channels, offset, length);
    const PeakLists fresh = buildPeakLists(store, channels);
    QCOMPARE(lists.left, fresh.left);
    QCOMPARE(lists.right, fresh.right);
}

QTEST_GUILESS_MAIN(TestPeakLists)
#include "tst_peaklists.moc"
