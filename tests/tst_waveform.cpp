// The waveform: peak lists of the store, kept fresh through edits, and the
// mapping between times and pixels that clicks and drawing share.

#include "audio/peaklists.h"
#include "audiofixtures.h"
#include "widgets/waveformcolumns.h"

#include <QTest>

#include <limits>

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();

// Frames whose sample is the frame index plus 1000 per channel, so a block's
// loudest is its last frame.
QByteArray ramp(int count, int channels)
{
    QList<int> values;
    for (int i = 0; i < count * channels; ++i)
        values << i / channels + 1000 * (i % channels);
    return fixtures::s16(values);
}

QList<double> scaled(const QList<int> &values)
{
    QList<double> out;
    for (int v : values)
        out << v / 32768.0;
    return out;
}

} // namespace

class TestWaveform : public QObject
{
    Q_OBJECT

private slots:
    void timesAndPixels_data()
    {
        QTest::addColumn<qlonglong>("ms");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("x");
        QTest::addColumn<qlonglong>("msAtX"); // -1: x is a clamped edge, not read back
        QTest::newRow("one second right of the edge at 100 px/s") << 61000LL << 0.1 << 60000 << 100 << 61000LL;
        QTest::newRow("fractions truncated toward zero") << 0LL << 0.1 << 19 << -1 << 9LL;
        QTest::newRow("distance wider than 32 bits") << 4000000000LL << 0.0001 << -2000000000 << 600000 << 4000000000LL;
        QTest::newRow("far right saturates") << 10000000000LL << 1.0 << 0 << kPixelLimit << -1LL;
        QTest::newRow("far left saturates") << 0LL << 1.0 << kIntMax << -kPixelLimit << -1LL;
        QTest::newRow("pointer before 0 ms reads 0") << -500LL << 0.1 << -500 << 0 << 0LL;
    }

    void timesAndPixels()
    {
        QFETCH(qlonglong, ms);
        QFETCH(double, zoom);
        QFETCH(int, offset);
        QFETCH(int, x);
        QFETCH(qlonglong, msAtX);
        QCOMPARE(::timeToPixel(ms, zoom, offset), x);
        if (msAtX >= 0)
            QCOMPARE(::pixelToTime(x, zoom, offset), msAtX);
    }

    void loudestOfEachBlock_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<double>>("left");
        QTest::addColumn<QList<double>>("right");
        QTest::newRow("stereo 1001 frames: a last block of one frame")
            << ramp(1001, 2) << 2 << scaled({499, 999, 1000}) << scaled({1499, 1999, 2000});
        QTest::newRow("mono has no right list") << ramp(1001, 1) << 1 << scaled({499, 999, 1000}) << QList<double>();
        QTest::newRow("a louder half frame at the end gives nothing")
            << ramp(500, 2) + "\x7f\x7f" << 2 << scaled({499}) << scaled({1499});
        QTest::newRow("full scale both ways") << fixtures::s16({-32768, 32767}) << 2 << QList<double>{-1.0}
                                              << QList<double>{32767 / 32768.0};
    }

    void loudestOfEachBlock()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, channels);
        const PeakLists lists = buildPeakLists(store, channels);
        QTEST(lists.left, "left");
        QTEST(lists.right, "right");
    }

    void refreshesOnlyEditedBlocks_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QList<int>>("blocks"); // of the seven, those read again
        QTest::newRow("a region over several blocks") << 2 << qint64(4 * 700) << qint64(4 * 1800) << QList<int>{1, 2, 3, 4};
        QTest::newRow("the first frame of a block") << 2 << qint64(4 * 1000) << qint64(4) << QList<int>{2};
        QTest::newRow("mono to the end") << 1 << qint64(2 * 1200) << qint64(2 * 10000) << QList<int>{2, 3, 4, 5, 6};
        QTest::newRow("the right sample alone") << 2 << qint64(4 * 1500 + 2) << qint64(2) << QList<int>{3};
    }

    // Blocks the edit did not reach keep what they held (here a mark no store
    // gives); the others match a full rebuild.
    void refreshesOnlyEditedBlocks()
    {
        QFETCH(int, channels);
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        QFETCH(QList<int>, blocks);
        QByteArray store = ramp(3001, channels);
        PeakLists lists = buildPeakLists(store, channels);
        lists.left.fill(7.0);
        lists.right.fill(7.0);
        for (qint64 b = offset; b < qMin<qint64>(offset + length, store.size()); ++b)
            store[b] = char(0x55);
        refreshPeakLists(lists, store, channels, offset, length);
        const PeakLists fresh = buildPeakLists(store, channels);
        QCOMPARE(lists.left.size(), 7);
        for (int n = 0; n < 7; ++n) {
            QCOMPARE(lists.left.at(n), blocks.contains(n) ? fresh.left.at(n) : 7.0);
            if (channels == 2)
                QCOMPARE(lists.right.at(n), blocks.contains(n) ? fresh.right.at(n) : 7.0);
        }
    }

    // Zoomed in far, a stretch of one held value draws a pixel of its own
    // inside the view; at full negative scale it once fell below the bottom row.
    void heldSamplesShowInsideTheView_data()
    {
        QTest::addColumn<int>("sample");
        QTest::newRow("full negative scale") << -32768;
        QTest::newRow("silence") << 0;
        QTest::newRow("full positive scale") << 32767;
    }

    void heldSamplesShowInsideTheView()
    {
        QFETCH(int, sample);
        const QByteArray samples = fixtures::s16(QList<int>(100, sample));
        const int height = 80;
        const QList<WaveColumn> columns = traceColumns({samples, 1, 8000}, 0, 1.0, 0, 10, height);
        QCOMPARE(columns.size(), 10);
        for (const WaveColumn &column : columns) {
            QVERIFY(column.top >= 0 && column.top < column.bottom);
            QVERIFY2(column.top < height, qPrintable(QString::number(column.top)));
        }
    }
};

QTEST_GUILESS_MAIN(TestWaveform)
#include "tst_waveform.moc"
