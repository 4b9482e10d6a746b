// The waveform: peak lists of the store, the arithmetic that folds them into
// columns and ruler ticks, and the view that draws them.

#include "audio/peaklists.h"
#include "audiofixtures.h"
#include "widgets/timeruler.h"
#include "widgets/waveformcolumns.h"
#include "widgets/waveformdisplay.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kIntMax = std::numeric_limits<int>::max();

QStringList describe(const QList<WaveColumn> &columns)
{
    QStringList lines;
    for (const WaveColumn &c : columns)
        lines << QStringLiteral("%1:%2-%3").arg(c.x).arg(c.top).arg(c.bottom);
    return lines;
}

double sine100(double t) { return 0.8 * std::sin(2 * M_PI * 100 * t); }

// Two seconds of stereo at 8 kHz: silence on the left, the sine above on the right.
QByteArray sineStore()
{
    QList<int> values;
    for (int f = 0; f < 16000; ++f)
        values << 0 << int(std::lround(32767 * sine100(f / 8000.0)));
    return fixtures::s16(values);
}

// Frames whose sample is the frame index plus 1000 per channel, so a block's
// loudest is its last frame.
QByteArray ramp(int count, int channels)
{
    QList<int> values;
    for (int frame = 0; frame < count; ++frame) {
        for (int c = 0; c < channels; ++c)
            values << frame + 1000 * c;
    }
    return fixtures::s16(values);
}

QList<double> scaled(const QList<int> &values)
{
    QList<double> out;
    for (int v : values)
        out << v / 32768.0;
    return out;
}

// 400 x 101: the centre is row 50; at zoom 0.1 one pixel is 10 ms.
constexpr int kWidth = 400;
constexpr int kHeight = 101;
const QColor kBackground(20, 20, 20);
const QColor kWave(0, 255, 0);

// Shown, because grabbing a hidden widget sends it a resize event each time.
bool show(WaveformDisplay &view)
{
    view.resize(kWidth, kHeight);
    view.show();
    return QTest::qWaitForWindowExposed(&view);
}

QImage render(WaveformDisplay &view) { return view.grab().toImage(); }

// 100 peaks per second, so zoom 0.1 shows one peak per column.
void load(WaveformDisplay &view, const QList<double> &peaks) { view.setWaveformData(peaks, peaks.size() * 10, 0); }

int waveRows(const QImage &image, int x)
{
    int rows = 0;
    for (int y = 1; y < image.height() - 1; ++y)
        rows += image.pixelColor(x, y) == kWave;
    return rows;
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
        QTest::newRow("left of the edge") << 950LL << 0.1 << 1000 << -5 << 950LL;
        QTest::newRow("fractions truncated toward zero") << 0LL << 0.1 << 19 << -1 << 9LL;
        QTest::newRow("distance wider than 32 bits") << 4000000000LL << 0.0001 << -2000000000 << 600000 << 4000000000LL;
        QTest::newRow("far right saturates") << 10000000000LL << 1.0 << 0 << kPixelLimit << -1LL;
        QTest::newRow("far left saturates") << 0LL << 1.0 << kIntMax << -kPixelLimit << -1LL;
        QTest::newRow("pointer before 0 ms reads 0") << -500LL << 0.1 << -500 << 0 << 0LL;
        QTest::newRow("pointer past the 32-bit range") << 2157483647LL << 0.1 << kIntMax << 1000000 << 2157483647LL;
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

    void foldColumns_data()
    {
        QTest::addColumn<QList<double>>("peaks");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QStringList>("columns");

        // 100 peaks a second in a 10 x 101 view: the centre is row 50, full scale 50 rows either way.
        QTest::newRow("one peak per column") << QList<double>{0.5, -0.5, 0.25, -1.0} << 0.1 << 0
                                             << QStringList{"0:25-50", "1:50-75", "2:38-50", "3:50-100"};
        // Extremes on the first and last peak of each group of ten; the last column has five.
        QList<double> groups(25, 0.0);
        groups[3] = -0.25;
        groups[9] = 0.75;
        groups[10] = -0.5;
        groups[15] = 0.125;
        groups[24] = 0.5;
        QTest::newRow("ten peaks per column take their extremes")
            << groups << 0.01 << 0 << QStringList{"0:13-62", "1:44-75", "2:25-50"};
        QTest::newRow("each peak spans several columns") << QList<double>{0.5, -0.5} << 0.4 << 0
                                                         << QStringList{"0:25-50", "1:25-50", "2:25-50", "3:25-50",
                                                                        "4:50-75", "5:50-75", "6:50-75", "7:50-75"};
        QTest::newRow("silent peaks reach one row below the centre")
            << QList<double>{0.0, kNaN} << 0.1 << 0 << QStringList{"0:50-51", "1:50-51"};
        QTest::newRow("view starting before the recording")
            << QList<double>{0.5, -0.5} << 0.1 << -20 << QStringList{"2:25-50", "3:50-75"};
        QTest::newRow("whole recording in one column") << QList<double>{0.5, -0.5} << 1e-12 << 0
                                                       << QStringList{"0:25-75"};
    }

    void foldColumns()
    {
        QFETCH(QList<double>, peaks);
        QFETCH(double, zoom);
        QFETCH(int, offset);
        QTEST(describe(::foldColumns(peaks, 100.0, zoom, offset, 10, 101)), "columns");
    }

    void traced_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("channels"); // of the samples handed over
        QTest::addColumn<bool>("traced");
        QTest::newRow("two frames per column") << 4.0 << 0 << 2 << true;
        QTest::newRow("scrolled into the recording") << 4.0 << 1237 << 2 << true;
        QTest::newRow("under two pixels per list value") << 0.02 << 0 << 2 << false;
        QTest::newRow("samples without the right channel") << 4.0 << 0 << 1 << false;
    }

    // Zoomed in, every column spans just what the right channel's sine spans over
    // the column's time (the left is silent); otherwise the lists are folded as before.
    void traced()
    {
        QFETCH(double, zoom);
        QFETCH(int, offset);
        QFETCH(int, channels);
        const QByteArray store = sineStore();
        const PeakLists lists = buildPeakLists(store, 2);
        const double perSecond = peaksPerSecondFor(lists.right.size(), 2000);
        const QByteArray bytes = channels == 1 ? store.left(store.size() / 2) : store;
        const SampleView samples{bytes, channels, 8000};
        const QList<WaveColumn> columns = waveColumns(lists.right, perSecond, samples, 1, zoom, offset, 200, 101);

        QFETCH(bool, traced);
        if (!traced) {
            QCOMPARE(describe(columns), describe(::foldColumns(lists.right, perSecond, zoom, offset, 200, 101)));
            return;
        }
        QCOMPARE(columns.size(), 200);
        for (const WaveColumn &c : columns) {
            double lo = 1.0, hi = -1.0;
            for (int i = 0; i <= 64; ++i) {
                const double v = sine100((offset + (c.x + i / 64.0) / zoom) / 1000);
                lo = qMin(lo, v);
                hi = qMax(hi, v);
            }
            QVERIFY2(qAbs(c.top - (50 - int(50 * hi))) <= 1 && qAbs(c.bottom - (50 - int(50 * lo))) <= 1,
                     qPrintable(QStringLiteral("column %1: %2-%3, sine %4..%5").arg(c.x).arg(c.top).arg(c.bottom).arg(lo).arg(hi)));
        }
    }

    void rulerTicks_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("offset");
        QTest::addColumn<qlonglong>("origin");
        QTest::addColumn<bool>("realTime");
        QTest::addColumn<QStringList>("ticks"); // x and label, labels at least 120 px apart
        QTest::newRow("scrolled between two ticks") << 0.1 << 1500 << 0LL << false
                                                    << QStringList{"50 00:00:02", "250 00:00:04"};
        QTest::newRow("steps below a second keep the milliseconds")
            << 2.0 << 50 << 0LL << false << QStringList{"100 00:00:00.100", "300 00:00:00.200"};
        QTest::newRow("real time falls on round times of day")
            << 0.1 << 0 << 36000250LL << true << QStringList{"175 10:00:02", "375 10:00:04"};
        QTest::newRow("real time wraps at midnight") << 0.1 << 0 << 86398000LL << true
                                                     << QStringList{"0 23:59:58", "200 00:00:00"};
        QTest::newRow("track time past a day does not wrap")
            << 0.001 << 90000000 << 0LL << false
            << QStringList{"0 25:00:00", "120 25:02:00", "240 25:04:00", "360 25:06:00"};
        QTest::newRow("zoomed out past the largest step, labels would overlap")
            << 1e-9 << 0 << 0LL << false << QStringList{};
        QTest::newRow("zoom not a number") << kNaN << 0 << 0LL << false << QStringList{};
    }

    void rulerTicks()
    {
        QFETCH(double, zoom);
        QFETCH(int, offset);
        QFETCH(qlonglong, origin);
        QFETCH(bool, realTime);
        const qlonglong step = rulerStepMs(zoom, 120);
        QStringList drawn;
        for (const RulerTick &tick : ::rulerTicks(zoom, offset, 400, step, origin))
            drawn << QStringLiteral("%1 %2").arg(tick.x).arg(rulerLabel(tick.ms, step, realTime));
        QTEST(drawn, "ticks");
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
        QTest::newRow("a click between two quiet frames") << fixtures::s16({3, -20000, 4}) << 1 << scaled({-20000})
                                                          << QList<double>();
        QTest::newRow("three channels: only the first two listed")
            << ramp(501, 3) << 3 << scaled({499, 500}) << scaled({1499, 1500});
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

    // The view draws the folded columns where they belong, and nothing of a
    // recording it was emptied of.
    void drawsTheColumns()
    {
        WaveformDisplay view;
        QVERIFY(show(view));
        view.setShowGrid(false);
        load(view, {0.0, 0.5, -0.5, 0.0});
        QImage image = render(view);
        QCOMPARE(waveRows(image, 1), 26); // rows 25 to 50
        QCOMPARE(image.pixelColor(2, 75), kWave);
        QCOMPARE(waveRows(image, 4), 0);

        view.setWaveformData({}, 0, 0);
        image = render(view);
        for (int x = 1; x < kWidth - 1; ++x)
            QCOMPARE(waveRows(image, x), 0);
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_waveform.moc"
