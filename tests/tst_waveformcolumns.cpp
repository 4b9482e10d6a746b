#include "widgets/waveformcolumns.h"

#include "audio/peaklists.h"
#include "widgets/timeruler.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

QStringList describe(const QList<WaveColumn> &columns)
{
    QStringList lines;
    for (const WaveColumn &c : columns)
        lines << QStringLiteral("%1:%2-%3").arg(c.x).arg(c.top).arg(c.bottom);
    return lines;
}

// Five seconds of stereo at 8 kHz: a quiet 50 Hz tone on the left, and on
// the right the 100 Hz sine toneAt() gives.
constexpr int kRate = 8000;
constexpr double kAmplitude = 0.8;

double toneAt(double ms) { return kAmplitude * std::sin(2 * M_PI * 100 * ms / 1000.0); }

QByteArray toneStore()
{
    QByteArray store;
    for (int f = 0; f < 5 * kRate; ++f) {
        const double ms = f * 1000.0 / kRate;
        for (double v : {0.1 * std::sin(2 * M_PI * 50 * ms / 1000.0), toneAt(ms)}) {
            const auto s = qint16(std::lround(v * 32767));
            store.append(char(s & 0xff));
            store.append(char((s >> 8) & 0xff));
        }
    }
    return store;
}

QStringList repeated(int fromX, int toX, const QString &span)
{
    QStringList lines;
    for (int x = fromX; x <= toX; ++x)
        lines << QStringLiteral("%1:%2").arg(x).arg(span);
    return lines;
}

} // namespace

class TestWaveformColumns : public QObject
{
    Q_OBJECT

private slots:
    void timeToPixel_data();
    void timeToPixel();
    void pixelToTime_data();
    void pixelToTime();
    void peaksPerSecond_data();
    void peaksPerSecond();
    void foldColumns_data();
    void foldColumns();
    void traced_data();
    void traced();
    void rulerStep_data();
    void rulerStep();
    void rulerTicks_data();
    void rulerTicks();
};

void TestWaveformColumns::timeToPixel_data()
{
    QTest::addColumn<qlonglong>("ms");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("x");

    QTest::newRow("time at the left edge") << 5000LL << 0.1 << 5000 << 0;
    QTest::newRow("one second later at 100 px/s") << 6000LL << 0.1 << 5000 << 100;
    QTest::newRow("left of the edge") << 4000LL << 0.1 << 5000 << -100;
    QTest::newRow("fraction right of the edge truncated") << 19LL << 0.1 << 0 << 1;
    QTest::newRow("fraction left of the edge truncated toward zero") << 0LL << 0.1 << 19 << -1;
    QTest::newRow("distance wider than 32 bits") << 4000000000LL << 0.0001 << -2000000000 << 600000;
    QTest::newRow("zoom 0 puts everything at the edge") << 12345LL << 0.0 << 0 << 0;
    QTest::newRow("negative zoom mirrors") << 1000LL << -0.1 << 0 << -100;
    QTest::newRow("far right saturates") << 10000000000LL << 1.0 << 0 << kPixelLimit;
    QTest::newRow("far left saturates") << 0LL << 1.0 << kIntMax << -kPixelLimit;
    QTest::newRow("largest time minus smallest offset")
        << std::numeric_limits<qlonglong>::max() << 1.0 << kIntMin << kPixelLimit;
    QTest::newRow("infinite zoom") << 1LL << kInf << 0 << kPixelLimit;
    QTest::newRow("zoom not a number") << 100LL << kNaN << 0 << -kPixelLimit;
}

void TestWaveformColumns::timeToPixel()
{
    QFETCH(qlonglong, ms);
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(int, x);
    QCOMPARE(::timeToPixel(ms, zoom, offset), x);
}

void TestWaveformColumns::pixelToTime_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<qlonglong>("ms");

    QTest::newRow("left edge") << 0.0 << 0.1 << 0 << 0LL;
    QTest::newRow("100 px at 100 px/s") << 100.0 << 0.1 << 0 << 1000LL;
    QTest::newRow("offset added") << 100.0 << 0.1 << 60000 << 61000LL;
    QTest::newRow("truncated toward zero") << 1.0 << 0.3 << 0 << 3LL;
    QTest::newRow("pointer left of the widget") << -5.0 << 0.1 << 1000 << 950LL;
    QTest::newRow("below 0 ms raised to 0") << 10.0 << 0.1 << -500 << 0LL;
    QTest::newRow("past the 32-bit range") << 1000000.0 << 0.1 << kIntMax << 2157483647LL;
    QTest::newRow("negative zoom") << 100.0 << -0.1 << 5000 << 4000LL;
    QTest::newRow("zoom 0 at the left edge") << 0.0 << 0.0 << 700 << 700LL;
    QTest::newRow("zoom 0 right of the edge saturates") << 10.0 << 0.0 << 700 << kTimeLimitMs;
    QTest::newRow("pointer not a number") << kNaN << 0.1 << 700 << 700LL;
}

void TestWaveformColumns::pixelToTime()
{
    QFETCH(double, x);
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(qlonglong, ms);
    QCOMPARE(::pixelToTime(x, zoom, offset), ms);
}

void TestWaveformColumns::peaksPerSecond_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<qlonglong>("durationMs");
    QTest::addColumn<double>("rate");

    QTest::newRow("6000 peaks in a minute") << qsizetype(6000) << 60000LL << 100.0;
    QTest::newRow("fractional rate") << qsizetype(1) << 3LL << 1000.0 / 3.0;
    QTest::newRow("empty list") << qsizetype(0) << 60000LL << 1.0;
    QTest::newRow("no duration") << qsizetype(100) << 0LL << 1.0;
    QTest::newRow("negative duration") << qsizetype(100) << -1LL << 1.0;
}

void TestWaveformColumns::peaksPerSecond()
{
    QFETCH(qsizetype, count);
    QFETCH(qlonglong, durationMs);
    QFETCH(double, rate);
    QCOMPARE(peaksPerSecondFor(count, durationMs), rate);
}

void TestWaveformColumns::foldColumns_data()
{
    QTest::addColumn<QList<double>>("peaks");
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QStringList>("columns");

    // Height 101: the centre is row 50, full scale is 50 rows either way.
    QTest::newRow("one peak per column")
        << QList<double>{0.5, -0.5, 0.25, -1.0} << 100.0 << 0.1 << 0 << 10 << 101
        << QStringList{"0:25-50", "1:50-75", "2:38-50", "3:50-100"};

    // Extremes on the first and last peak of each group of ten; the last
    // column has only five peaks left.
    QList<double> groups(25, 0.0);
    groups[3] = -0.25;
    groups[9] = 0.75;
    groups[10] = -0.5;
    groups[15] = 0.125;
    groups[24] = 0.5;
    QTest::newRow("ten peaks per column take their extremes")
        << groups << 100.0 << 0.01 << 0 << 10 << 101
        << QStringList{"0:13-62", "1:44-75", "2:25-50"};

    QTest::newRow("each peak spans twenty columns")
        << QList<double>{0.5, -0.5} << 100.0 << 2.0 << 0 << 50 << 101
        << repeated(0, 19, "25-50") + repeated(20, 39, "50-75");
    QTest::newRow("silent peaks reach one row below the centre")
        << QList<double>{0.0, 0.0} << 100.0 << 0.1 << 0 << 10 << 101
        << QStringList{"0:50-51", "1:50-51"};
    QTest::newRow("offset skips the peaks left of the view")
        << QList<double>{0.5, 0.5, -0.5, 0.25} << 100.0 << 0.1 << 20 << 10 << 101
        << QStringList{"0:50-75", "1:38-50"};
    QTest::newRow("centre of a low view")
        << QList<double>{0.5, -1.0} << 100.0 << 0.1 << 0 << 10 << 11
        << QStringList{"0:3-5", "1:5-10"};
    QTest::newRow("view starting before the recording")
        << QList<double>{0.5, -0.5} << 100.0 << 0.1 << -20 << 10 << 101
        << QStringList{"2:25-50", "3:50-75"};
    QTest::newRow("peaks beyond full scale stop at the edge")
        << QList<double>{3.0, -kInf} << 100.0 << 0.1 << 0 << 10 << 101
        << QStringList{"0:0-50", "1:50-100"};
    QTest::newRow("peak that is not a number counts as silence")
        << QList<double>{kNaN} << 100.0 << 0.1 << 0 << 10 << 101
        << QStringList{"0:50-51"};
    QTest::newRow("whole recording in one column")
        << QList<double>{0.5, -0.5} << 100.0 << 1e-12 << 0 << 10 << 101
        << QStringList{"0:25-75"};

    const QList<double> some{0.5, -0.5};
    QTest::newRow("no peaks") << QList<double>{} << 100.0 << 0.1 << 0 << 10 << 101 << QStringList{};
    QTest::newRow("no width") << some << 100.0 << 0.1 << 0 << 0 << 101 << QStringList{};
    QTest::newRow("first peak beyond int range")
        << some << 1e6 << 0.1 << kIntMax << 10 << 101 << QStringList{};
}

void TestWaveformColumns::foldColumns()
{
    QFETCH(QList<double>, peaks);
    QFETCH(double, rate);
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QStringList, columns);
    QCOMPARE(describe(::foldColumns(peaks, rate, zoom, offset, width, height)), columns);
}

void TestWaveformColumns::traced_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("channels"); // of the samples handed over; 0 for none
    QTest::addColumn<bool>("traced");

    QTest::newRow("two frames per column") << 4.0 << 0 << 2 << true;
    QTest::newRow("four columns per frame") << 32.0 << 0 << 2 << true;
    QTest::newRow("scrolled into the recording") << 4.0 << 1237 << 2 << true;
    QTest::newRow("just past two pixels per list value") << 0.04 << 0 << 2 << true;
    QTest::newRow("under two pixels per list value") << 0.02 << 0 << 2 << false;
    QTest::newRow("no samples") << 4.0 << 0 << 0 << false;
    QTest::newRow("samples without the right channel") << 4.0 << 0 << 1 << false;
}

// Zoomed in, every column spans just what the right channel's sine spans
// over the column's time; otherwise the lists are folded as before.
void TestWaveformColumns::traced()
{
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(int, channels);
    QFETCH(bool, traced);
    constexpr int width = 200;
    constexpr int height = 101;
    const QByteArray store = toneStore();
    const PeakLists lists = buildPeakLists(store, 2);
    const double rate = peaksPerSecondFor(lists.right.size(), 5000);
    const QByteArray bytes = channels == 1 ? store.left(store.size() / 2) : store;
    const SampleView samples{channels ? QByteArrayView(bytes) : QByteArrayView(), channels, kRate};
    const QList<WaveColumn> columns = waveColumns(lists.right, rate, samples, 1, zoom, offset, width, height);

    if (!traced) {
        QCOMPARE(describe(columns), describe(::foldColumns(lists.right, rate, zoom, offset, width, height)));
        return;
    }
    QCOMPARE(columns.size(), width);
    for (const WaveColumn &c : columns) {
        double lo = 1.0, hi = -1.0;
        for (int i = 0; i <= 64; ++i) {
            const double v = toneAt(offset + (c.x + i / 64.0) / zoom);
            lo = qMin(lo, v);
            hi = qMax(hi, v);
        }
        QVERIFY2(qAbs(c.top - (50 - int(50 * hi))) <= 1 && qAbs(c.bottom - (50 - int(50 * lo))) <= 1,
                 qPrintable(QStringLiteral("column %1: %2-%3, sine %4..%5").arg(c.x).arg(c.top).arg(c.bottom).arg(lo).arg(hi)));
    }
}

void TestWaveformColumns::rulerStep_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("spacing");
    QTest::addColumn<qlonglong>("step");
    QTest::newRow("100 px a second, labels 120 px apart") << 0.1 << 120.0 << 2000LL;
    QTest::newRow("exactly the spacing") << 0.1 << 100.0 << 1000LL;
    QTest::newRow("zoomed in to the sample") << 50.0 << 120.0 << 5LL;
    QTest::newRow("an hour across 1000 px") << 1000.0 / 3600000 << 120.0 << 10LL * 60 * 1000;
    QTest::newRow("beyond the largest step") << 1e-9 << 120.0 << 12LL * 3600 * 1000;
    QTest::newRow("zoom 0") << 0.0 << 120.0 << 0LL;
    QTest::newRow("zoom not a number") << kNaN << 120.0 << 0LL;
    QTest::newRow("infinite zoom") << kInf << 120.0 << 0LL;
}

void TestWaveformColumns::rulerStep()
{
    QFETCH(double, zoom);
    QFETCH(double, spacing);
    QFETCH(qlonglong, step);
    QCOMPARE(rulerStepMs(zoom, spacing), step);
}

void TestWaveformColumns::rulerTicks_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<qlonglong>("step");
    QTest::addColumn<qlonglong>("origin");
    QTest::addColumn<bool>("realTime");
    QTest::addColumn<QStringList>("ticks");
    QTest::newRow("track time from the start")
        << 0.1 << 0 << 1000LL << 0LL << false
        << QStringList{"0 00:00:00", "100 00:00:01", "200 00:00:02"};
    QTest::newRow("scrolled between two ticks")
        << 0.1 << 1500 << 1000LL << 0LL << false << QStringList{"50 00:00:02", "150 00:00:03", "250 00:00:04"};
    QTest::newRow("steps below a second keep the milliseconds")
        << 1.0 << 50 << 100LL << 0LL << false
        << QStringList{"50 00:00:00.100", "150 00:00:00.200", "250 00:00:00.300"};
    QTest::newRow("real time falls on round times of day")
        << 0.1 << 0 << 1000LL << 36000250LL << true
        << QStringList{"75 10:00:01", "175 10:00:02", "275 10:00:03"};
    QTest::newRow("real time wraps at midnight")
        << 0.1 << 0 << 1000LL << 86399000LL << true
        << QStringList{"0 23:59:59", "100 00:00:00", "200 00:00:01"};
    QTest::newRow("track time past a day does not wrap")
        << 0.001 << 90000000 << 100000LL << 0LL << false << QStringList{"0 25:00:00", "100 25:01:40", "200 25:03:20"};
    QTest::newRow("labels closer than a pixel") << 0.0001 << 0 << 1LL << 0LL << false << QStringList{};
}

void TestWaveformColumns::rulerTicks()
{
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(qlonglong, step);
    QFETCH(qlonglong, origin);
    QFETCH(bool, realTime);
    QFETCH(QStringList, ticks);
    QStringList drawn;
    for (const RulerTick &tick : ::rulerTicks(zoom, offset, 300, step, origin))
        drawn << QStringLiteral("%1 %2").arg(tick.x).arg(rulerLabel(tick.ms, step, realTime));
    QCOMPARE(drawn, ticks);
}

QTEST_GUILESS_MAIN(TestWaveformColumns)
#include "tst_waveformcolumns.moc"
