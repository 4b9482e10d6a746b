#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <functional>

namespace {

// 400 x 101: the centre is row 50; at zoom 0.1 one pixel is 10 ms.
constexpr int kWidth = 400;
constexpr int kHeight = 101;

const QColor kBackground(20, 20, 20);
const QColor kGrid(50, 50, 50);
const QColor kBorder(60, 60, 60);
const QColor kText(100, 100, 100);
const QColor kWave(0, 255, 0);
const QColor kEdge(255, 255, 0);
const QColor kHead(255, 0, 0);

using Change = std::function<void(WaveformDisplay &)>;

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

} // namespace

Q_DECLARE_METATYPE(Change)

class TestWaveformDisplay : public QObject
{
    Q_OBJECT

private slots:
    void placeholder_data();
    void placeholder();
    void grid_data();
    void grid();
    void columns_data();
    void columns();
    void selection_data();
    void selection();
    void cacheRedraws_data();
    void cacheRedraws();
    void tracesSamples();
    void rulerHasItsOwnBand();
    void mouse_data();
    void mouse();
    void wheel_data();
    void wheel();
};

void TestWaveformDisplay::placeholder_data()
{
    QTest::addColumn<bool>("loadedBefore");
    QTest::newRow("never loaded") << false;
    QTest::newRow("emptied after a recording") << true;
}

void TestWaveformDisplay::placeholder()
{
    QFETCH(bool, loadedBefore);
    WaveformDisplay view;
    QVERIFY(show(view));
    if (loadedBefore) {
        load(view, QList<double>(400, 0.5));
        render(view);
        view.setWaveformData({}, 0, 0);
    }
    view.setPlayPosition(3500);
    const QImage image = render(view);

    // The text's ink: greys brighter than the background, at most the text colour.
    QRect text;
    int brightest = 0;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() == c.green() && c.green() == c.blue() && c.red() > kBackground.red()) {
                text |= QRect(x, y, 1, 1);
                brightest = qMax(brightest, c.red());
            }
        }
    }
    QCOMPARE(brightest, kText.red());
    QVERIFY(qAbs(text.center().x() - kWidth / 2) <= 3);
    QVERIFY(qAbs(text.center().y() - kHeight / 2) <= 4);
    // No grid, centre line or waveform; the play head and border are drawn.
    QCOMPARE(image.pixelColor(100, 10), kBackground);
    QCOMPARE(image.pixelColor(text.left() - 20, kHeight / 2), kBackground);
    QCOMPARE(image.pixelColor(text.right() + 20, kHeight / 2), kBackground);
    QCOMPARE(image.pixelColor(350, 10), kHead);
    QCOMPARE(image.pixelColor(kWidth - 1, 10), kBorder);
}

void TestWaveformDisplay::grid_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("showGrid");
    QTest::newRow("100 px/s") << 0.1 << true;
    QTest::newRow("2000 px/s") << 2.0 << true;
    QTest::newRow("switched off") << 0.1 << false;
}

// A tenth of a second of peaks leaves the right part of the centre line bare.
void TestWaveformDisplay::grid()
{
    QFETCH(double, zoom);
    QFETCH(bool, showGrid);
    WaveformDisplay view;
    QVERIFY(show(view));
    load(view, QList<double>(10, 0.0));
    view.setView(zoom, 0);
    view.setShowGrid(showGrid);
    view.setPlayPosition(-1000);
    const QImage image = render(view);

    const QColor line = showGrid ? kGrid : kBackground;
    for (int x : {100, 200, 300}) {
        QCOMPARE(image.pixelColor(x, 1), line);
        QCOMPARE(image.pixelColor(x, kHeight - 2), line);
    }
    QCOMPARE(image.pixelColor(150, 10), kBackground);
    QCOMPARE(image.pixelColor(kWidth - 10, kHeight / 2), line);
    QCOMPARE(image.pixelColor(kWidth - 10, kHeight / 2 + 1), kBackground);
}

void TestWaveformDisplay::columns_data()
{
    QTest::addColumn<QList<double>>("peaks");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");

    // Column 0 lies under the border.
    const QList<double> single{0.0, 0.5, -0.5, 0.0};
    QTest::newRow("one peak per column, positive") << single << 0.1 << 1 << 25 << 50;
    QTest::newRow("one peak per column, negative") << single << 0.1 << 2 << 50 << 75;
    QTest::newRow("silent column") << single << 0.1 << 3 << 50 << 51;
    QTest::newRow("empty after the peaks end") << single << 0.1 << 4 << -1 << -1;
    QList<double> tens(30, 0.0);
    tens[10] = -0.25;
    tens[19] = 0.75;
    tens[20] = 0.125;
    tens[29] = -0.5;
    QTest::newRow("ten peaks per column, first group") << tens << 0.01 << 1 << 13 << 62;
    const QList<double> wide{0.5, -0.5};
    QTest::newRow("twenty columns per peak, last of first") << wide << 2.0 << 19 << 25 << 50;
    QTest::newRow("twenty columns per peak, first of second") << wide << 2.0 << 20 << 50 << 75;
    QTest::newRow("twenty columns per peak, then empty") << wide << 2.0 << 40 << -1 << -1;
}

void TestWaveformDisplay::columns()
{
    QFETCH(QList<double>, peaks);
    QFETCH(double, zoom);
    QFETCH(int, x);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setShowGrid(false);
    load(view, peaks);
    view.setView(zoom, 0);
    const QImage image = render(view);

    // First and last row in the wave colour; a column without any is bare.
    int top = -1, bottom = -1;
    for (int y = 1; y < kHeight - 1; ++y) {
        if (image.pixelColor(x, y) == kWave) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    QTEST(top, "top");
    QTEST(bottom, "bottom");
    if (top < 0) {
        for (int y = 1; y < kHeight - 1; ++y)
            QCOMPARE(image.pixelColor(x, y), kBackground);
    }
}

void TestWaveformDisplay::selection_data()
{
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<qlonglong>("end");
    QTest::addColumn<QList<int>>("edges");
    QTest::addColumn<QList<int>>("filled");
    QTest::addColumn<QList<int>>("clear");

    const QList<int> none;
    QTest::newRow("one to two seconds") << 1000LL << 2000LL << QList<int>{100} << QList<int>{101, 150, 199}
                                        << QList<int>{99, 201};
    QTest::newRow("being dragged leftwards") << 2000LL << 1000LL << QList<int>{100} << QList<int>{101, 150, 199}
                                             << QList<int>{99, 201};
    QTest::newRow("start equals end") << 1000LL << 1000LL << QList<int>{100} << none << QList<int>{99, 101};
    QTest::newRow("none") << -1LL << -1LL << none << none << QList<int>{100, 150};
    QTest::newRow("only the start set") << 1000LL << -1LL << none << none << QList<int>{100, 150};
    QTest::newRow("reaching far beyond both edges") << -4000000000000LL << 4000000000000LL << none
                                                    << QList<int>{1, 150, kWidth - 2} << none;
}

void TestWaveformDisplay::selection()
{
    QFETCH(qlonglong, start);
    QFETCH(qlonglong, end);
    QFETCH(QList<int>, edges);
    QFETCH(QList<int>, filled);
    QFETCH(QList<int>, clear);
    WaveformDisplay view;
    QVERIFY(show(view));
    load(view, QList<double>(10, 0.0));
    view.setShowGrid(false);
    view.setPlayPosition(2000);
    view.setSelection(start, end);
    const QImage image = render(view);

    for (int x : edges)
        QCOMPARE(image.pixelColor(x, 10), kEdge);
    for (int x : filled) { // 40/255 of yellow over the background
        const QColor c = image.pixelColor(x, 10);
        QVERIFY2(qAbs(c.red() - 57) <= 2 && qAbs(c.green() - 57) <= 2 && qAbs(c.blue() - 17) <= 2,
                 qPrintable(c.name()));
    }
    for (int x : clear)
        QCOMPARE(image.pixelColor(x, 10), kBackground);
    // The play head is drawn over the selection, the border over both.
    for (int y : {1, kHeight / 2, kHeight - 2})
        QCOMPARE(image.pixelColor(200, y), kHead);
    for (const QPoint &p : {QPoint(200, 0), QPoint(200, kHeight - 1), QPoint(0, 10), QPoint(kWidth - 1, 10)})
        QCOMPARE(image.pixelColor(p), kBorder);
}

void TestWaveformDisplay::cacheRedraws_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("redraws");

    QTest::newRow("play head moved") << Change([](WaveformDisplay &v) { v.setPlayPosition(5000); }) << false;
    QTest::newRow("selection changed") << Change([](WaveformDisplay &v) { v.setSelection(100, 900); }) << false;
    QTest::newRow("channel changed") << Change([](WaveformDisplay &v) { v.setChannel(1); }) << false;
    QTest::newRow("grid set to what it was") << Change([](WaveformDisplay &v) { v.setShowGrid(true); }) << false;
    QTest::newRow("grid switched off") << Change([](WaveformDisplay &v) { v.setShowGrid(false); }) << true;
    QTest::newRow("colour changed") << Change([](WaveformDisplay &v) { v.setWaveColor(Qt::cyan); }) << true;
    QTest::newRow("new sample source") << Change([](WaveformDisplay &v) { v.setSampleSource({}); }) << true;
    QTest::newRow("new peaks") << Change([](WaveformDisplay &v) { load(v, {0.5}); }) << true;
    QTest::newRow("zoom changed") << Change([](WaveformDisplay &v) { v.setView(0.2, 0); }) << true;
    QTest::newRow("resized") << Change([](WaveformDisplay &v) { v.resize(300, 120); }) << true;
    QTest::newRow("ruler set to what it was") << Change([](WaveformDisplay &v) { v.setRuler(true, false, 5); }) << false;
    QTest::newRow("ruler to real time") << Change([](WaveformDisplay &v) { v.setRuler(true, true, 5); }) << true;
    QTest::newRow("ruler hidden") << Change([](WaveformDisplay &v) { v.setRuler(false, false, 0); }) << true;
}

void TestWaveformDisplay::cacheRedraws()
{
    QFETCH(Change, change);
    QFETCH(bool, redraws);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setRuler(true, false, 0);
    load(view, QList<double>(100, 0.5));
    render(view);
    const int before = view.cacheRenderCount();
    change(view);
    render(view);
    render(view);
    QCOMPARE(view.cacheRenderCount(), before + (redraws ? 1 : 0));
}

// Zoomed in far, the view draws its source's samples: a crest of the sine
// stands clear of the centre line, which a column of the lists never does.
// The samples are read only when the cache is redrawn.
void TestWaveformDisplay::tracesSamples()
{
    // A second of a 100 Hz sine at 0.8, 8 kHz mono: at 4 px/ms the first
    // crest, at 2.5 ms, lies in column 10, row 11 (full scale is 50 rows).
    QByteArray store;
    for (int f = 0; f < 8000; ++f) {
        const auto v = qint16(std::lround(0.8 * 32767 * std::sin(2 * M_PI * 100 * f / 8000.0)));
        store.append(char(v & 0xff));
        store.append(char((v >> 8) & 0xff));
    }
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setShowGrid(false);
    int reads = 0;
    view.setSampleSource([&]() {
        ++reads;
        return SampleView{store, 1, 8000};
    });
    view.setWaveformData(QList<double>(16, 0.8), 1000, 0);
    view.setView(4.0, 0);
    const QImage image = render(view);
    QCOMPARE(image.pixelColor(10, 10), kBackground);
    QCOMPARE(image.pixelColor(10, 11), kWave);
    QCOMPARE(image.pixelColor(10, 13), kBackground);
    QCOMPARE(image.pixelColor(10, kHeight / 2), kBackground);
    const int before = reads;
    view.setPlayPosition(3);
    render(view);
    QCOMPARE(reads, before);
}

// A full-scale wave reaches the top row; with the ruler it starts below the
// ruler's band, where a tick stands at 2 s (200 px) and none between.
void TestWaveformDisplay::rulerHasItsOwnBand()
{
    WaveformDisplay view;
    QVERIFY(show(view));
    load(view, QList<double>(1000, 0.99));
    view.setShowGrid(false);
    const auto firstRow = [](const QImage &image, int x, const QColor &colour) {
        for (int y = 1; y < image.height(); ++y)
            if (image.pixelColor(x, y) == colour)
                return y;
        return -1;
    };
    QCOMPARE(firstRow(render(view), 200, kWave), 1);
    view.setRuler(true, false, 0);
    const QImage image = render(view);
    const int waveTop = firstRow(image, 200, kWave);
    QVERIFY(waveTop > view.fontMetrics().height());
    // A tick stands on the band's lower edge, at a whole second.
    QCOMPARE(image.pixelColor(200, waveTop - 2), QColor(200, 200, 200));
    QCOMPARE(image.pixelColor(250, waveTop - 2), QColor(32, 32, 32));
}

void TestWaveformDisplay::mouse_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("pressX");
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<qlonglong>("pressMs");
    QTest::addColumn<qlonglong>("start"); // of the last region the drag reported
    QTest::addColumn<qlonglong>("end");

    QTest::newRow("press 100 px in at 100 px/s") << 0 << 100 << QList<int>{} << 1000LL << 0LL << 0LL;
    QTest::newRow("press adds the offset") << 60000 << 50 << QList<int>{} << 60500LL << 0LL << 0LL;
    QTest::newRow("press below 0 ms reports 0") << -1000 << 50 << QList<int>{} << 0LL << 0LL << 0LL;
    // Offset 7000 at 100 px/s: x 300 is 10 000 ms, x 100 is 8 000 ms.
    QTest::newRow("drag leftwards") << 7000 << 300 << QList<int>{250, 100} << 10000LL << 8000LL << 10000LL;
    QTest::newRow("drag there and back past the anchor")
        << 7000 << 300 << QList<int>{350, 100} << 10000LL << 8000LL << 10000LL;
    QTest::newRow("drag without moving") << 7000 << 300 << QList<int>{300} << 10000LL << 10000LL << 10000LL;
    QTest::newRow("drag past the start of the recording") << 7000 << 100 << QList<int>{-900} << 8000LL << 0LL
                                                          << 8000LL;
}

// Only a left press scrubs and marks an empty selection; only moves while it is held select.
void TestWaveformDisplay::mouse()
{
    QFETCH(int, offset);
    QFETCH(int, pressX);
    QFETCH(QList<int>, moves);
    QFETCH(qlonglong, pressMs);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setChannel(1);
    view.setView(0.1, offset);
    QSignalSpy scrubs(&view, &WaveformDisplay::scrubRequested);
    QSignalSpy regions(&view, &WaveformDisplay::regionSelected);

    QTest::mouseMove(&view, QPoint(pressX + 5, 50));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(pressX + 5, 50));
    QCOMPARE(scrubs.count(), 0);
    QCOMPARE(view.selectionStart(), -1);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(pressX, 50));
    QCOMPARE(scrubs.count(), 1);
    QCOMPARE(scrubs.at(0).at(0).toLongLong(), pressMs);
    QCOMPARE(view.selectionStart(), pressMs);
    QCOMPARE(view.selectionEnd(), pressMs);
    for (int x : moves)
        QTest::mouseMove(&view, QPoint(x, 50));
    QCOMPARE(regions.count(), moves.size());
    if (!moves.isEmpty()) {
        QTEST(regions.last().at(0).toLongLong(), "start");
        QTEST(regions.last().at(1).toLongLong(), "end");
        QCOMPARE(regions.last().at(2).toInt(), 1);
    }
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(pressX, 50));
    QTest::mouseMove(&view, QPoint(pressX + 100, 50));
    QCOMPARE(scrubs.count(), 1);
    QCOMPARE(regions.count(), moves.size());
}

void TestWaveformDisplay::wheel_data()
{
    QTest::addColumn<QPoint>("angleDelta");
    QTest::addColumn<double>("zoom");
    QTest::newRow("up") << QPoint(0, 120) << 0.11;
    QTest::newRow("down") << QPoint(0, -120) << 0.09;
    QTest::newRow("horizontal only") << QPoint(120, 0) << 0.09;
}

// Asks for the new zoom, keeps the offset, and leaves its own view alone.
void TestWaveformDisplay::wheel()
{
    QFETCH(QPoint, angleDelta);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setView(0.1, 700);
    QSignalSpy views(&view, &WaveformDisplay::viewChanged);
    const QPointF at(200, 50);
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), angleDelta, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
    QCOMPARE(views.count(), 1);
    QTEST(views.at(0).at(0).toDouble(), "zoom");
    QCOMPARE(views.at(0).at(1).toInt(), 700);
    QCOMPARE(view.currentZoom(), 0.1);
}

QTEST_MAIN(TestWaveformDisplay)
#include "tst_waveformdisplay.moc"
