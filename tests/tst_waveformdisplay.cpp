#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

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

QImage render(WaveformDisplay &view)
{
    return view.grab().toImage();
}

// 100 peaks per second, so zoom 0.1 shows one peak per column.
void load(WaveformDisplay &view, const QList<double> &peaks)
{
    view.setWaveformData(peaks, peaks.size() * 10, 0);
}

// First and last row of column x in the wave colour, or (-1, -1).
QPair<int, int> waveSpan(const QImage &image, int x)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixelColor(x, y) == kWave) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    return {top, bottom};
}

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
    void playHeadAndBorder();
    void cacheRedraws_data();
    void cacheRedraws();
    void setViewThreshold_data();
    void setViewThreshold();
    void press_data();
    void press();
    void drag_data();
    void drag();
    void movesOutsideADrag();
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

    // Ink of the text: greys above the background inside the border, the
    // fully covered ones in the text colour.
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

    // No grid, no centre line, no waveform, but the play head and border.
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
    QTest::newRow("10 px/s") << 0.01 << true;
    QTest::newRow("2000 px/s") << 2.0 << true;
    QTest::newRow("switched off") << 0.1 << false;
}

void TestWaveformDisplay::grid()
{
    QFETCH(double, zoom);
    QFETCH(bool, showGrid);
    WaveformDisplay view;
    QVERIFY(show(view));
    // A tenth of a second of peaks spans at most 200 px at these zooms and
    // leaves the right part of the centre line uncovered.
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

    // Column 0 lies under the border, so the probes start at 1.
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
    QTest::newRow("ten peaks per column, second group") << tens << 0.01 << 2 << 44 << 75;
    QTest::newRow("ten peaks per column, then empty") << tens << 0.01 << 3 << -1 << -1;

    const QList<double> wide{0.5, -0.5};
    QTest::newRow("twenty columns per peak, first") << wide << 2.0 << 1 << 25 << 50;
    QTest::newRow("twenty columns per peak, last of first") << wide << 2.0 << 19 << 25 << 50;
    QTest::newRow("twenty columns per peak, first of second") << wide << 2.0 << 20 << 50 << 75;
    QTest::newRow("twenty columns per peak, last of second") << wide << 2.0 << 39 << 50 << 75;
    QTest::newRow("twenty columns per peak, then empty") << wide << 2.0 << 40 << -1 << -1;
}

void TestWaveformDisplay::columns()
{
    QFETCH(QList<double>, peaks);
    QFETCH(double, zoom);
    QFETCH(int, x);
    QFETCH(int, top);
    QFETCH(int, bottom);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setShowGrid(false);
    load(view, peaks);
    view.setView(zoom, 0);
    const QImage image = render(view);

    QCOMPARE(waveSpan(image, x), qMakePair(top, bottom));
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

    QTest::newRow("one to two seconds") << 1000LL << 2000LL
        << QList<int>{100, 200} << QList<int>{101, 150, 199} << QList<int>{99, 201};
    QTest::newRow("being dragged leftwards") << 2000LL << 1000LL
        << QList<int>{100, 200} << QList<int>{101, 150, 199} << QList<int>{99, 201};
    QTest::newRow("start equals end") << 1000LL << 1000LL
        << QList<int>{100} << QList<int>{} << QList<int>{99, 101};
    QTest::newRow("none") << -1LL << -1LL
        << QList<int>{} << QList<int>{} << QList<int>{100, 150};
    QTest::newRow("only the start set") << 1000LL << -1LL
        << QList<int>{} << QList<int>{} << QList<int>{100, 150};
    QTest::newRow("reaching far beyond both edges") << -4000000000000LL << 4000000000000LL
        << QList<int>{} << QList<int>{1, 200, kWidth - 2} << QList<int>{};
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
    view.setPlayPosition(-1000);
    view.setSelection(start, end);
    const QImage image = render(view);

    // 40/255 of yellow over the background.
    for (int x : edges)
        QCOMPARE(image.pixelColor(x, 10), kEdge);
    for (int x : filled) {
        const QColor c = image.pixelColor(x, 10);
        QVERIFY2(qAbs(c.red() - 57) <= 2 && qAbs(c.green() - 57) <= 2 && qAbs(c.blue() - 17) <= 2,
                 qPrintable(c.name()));
    }
    for (int x : clear)
        QCOMPARE(image.pixelColor(x, 10), kBackground);
}

void TestWaveformDisplay::playHeadAndBorder()
{
    WaveformDisplay view;
    QVERIFY(show(view));
    load(view, QList<double>(10, 0.0));
    view.setView(0.1, 1000);
    view.setPlayPosition(3000);
    view.setSelection(3000, 3000);
    const QImage image = render(view);

    // The play head is drawn over the selection edge, the border over both.
    for (int y : {1, kHeight / 2, kHeight - 2})
        QCOMPARE(image.pixelColor(200, y), kHead);
    QCOMPARE(image.pixelColor(200, 0), kBorder);
    QCOMPARE(image.pixelColor(200, kHeight - 1), kBorder);
    QCOMPARE(image.pixelColor(0, 10), kBorder);
    QCOMPARE(image.pixelColor(kWidth - 1, 10), kBorder);
}

void TestWaveformDisplay::cacheRedraws_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("redraws");

    QTest::newRow("play head moved") << Change([](WaveformDisplay &v) { v.setPlayPosition(5000); }) << false;
    QTest::newRow("selection changed") << Change([](WaveformDisplay &v) { v.setSelection(100, 900); }) << false;
    QTest::newRow("channel changed") << Change([](WaveformDisplay &v) { v.setChannel(1); }) << false;
    QTest::newRow("grid set to what it was") << Change([](WaveformDisplay &v) { v.setShowGrid(true); }) << false;
    QTest::newRow("tiny zoom change") << Change([](WaveformDisplay &v) { v.setView(0.10005, 0); }) << false;
    QTest::newRow("grid switched off") << Change([](WaveformDisplay &v) { v.setShowGrid(false); }) << true;
    QTest::newRow("colour changed") << Change([](WaveformDisplay &v) { v.setWaveColor(Qt::cyan); }) << true;
    QTest::newRow("same colour again") << Change([](WaveformDisplay &v) { v.setWaveColor(kWave); }) << true;
    QTest::newRow("new peaks") << Change([](WaveformDisplay &v) { load(v, {0.5}); }) << true;
    QTest::newRow("zoom changed") << Change([](WaveformDisplay &v) { v.setView(0.2, 0); }) << true;
    QTest::newRow("offset changed") << Change([](WaveformDisplay &v) { v.setView(0.1, 500); }) << true;
    QTest::newRow("resized") << Change([](WaveformDisplay &v) { v.resize(300, 120); }) << true;
}

void TestWaveformDisplay::cacheRedraws()
{
    QFETCH(Change, change);
    QFETCH(bool, redraws);
    WaveformDisplay view;
    QVERIFY(show(view));
    load(view, QList<double>(100, 0.5));
    render(view);
    const int before = view.cacheRenderCount();

    change(view);
    render(view);
    render(view);
    QCOMPARE(view.cacheRenderCount(), before + (redraws ? 1 : 0));
}

void TestWaveformDisplay::setViewThreshold_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("taken");

    QTest::newRow("zoom 0.00005 away, same offset") << 0.10005 << 0 << false;
    QTest::newRow("zoom 0.00005 below, same offset") << 0.09995 << 0 << false;
    QTest::newRow("zoom 0.0002 away") << 0.1002 << 0 << true;
    QTest::newRow("same zoom, new offset") << 0.1 << 500 << true;
    QTest::newRow("tiny zoom change with a new offset") << 0.10005 << 500 << true;
}

void TestWaveformDisplay::setViewThreshold()
{
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(bool, taken);
    WaveformDisplay view;
    view.setView(zoom, offset);
    QCOMPARE(view.currentZoom(), taken ? zoom : 0.1);
    QCOMPARE(view.currentOffset(), taken ? offset : 0);
}

void TestWaveformDisplay::press_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("x");
    QTest::addColumn<qlonglong>("ms");

    QTest::newRow("left edge at offset 0") << 0 << 0 << 0LL;
    QTest::newRow("100 px at 100 px/s") << 0 << 100 << 1000LL;
    QTest::newRow("offset added") << 60000 << 50 << 60500LL;
    QTest::newRow("below 0 ms reports 0") << -1000 << 50 << 0LL;
}

void TestWaveformDisplay::press()
{
    QFETCH(int, offset);
    QFETCH(int, x);
    QFETCH(qlonglong, ms);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setView(0.1, offset);
    QSignalSpy scrubs(&view, &WaveformDisplay::scrubRequested);
    QSignalSpy regions(&view, &WaveformDisplay::regionSelected);

    QTest::mousePress(&view, Qt::RightButton, {}, QPoint(x + 5, 50));
    QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(x + 5, 50));
    QCOMPARE(scrubs.count(), 0);
    QCOMPARE(view.selectionStart(), -1);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(x, 50));
    QCOMPARE(scrubs.count(), 1);
    QCOMPARE(scrubs.at(0).at(0).toLongLong(), ms);
    QCOMPARE(regions.count(), 0);
    QCOMPARE(view.selectionStart(), ms);
    QCOMPARE(view.selectionEnd(), ms);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(x, 50));
    QCOMPARE(scrubs.count(), 1);
    QCOMPARE(regions.count(), 0);
}

void TestWaveformDisplay::drag_data()
{
    QTest::addColumn<int>("pressX");
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<qlonglong>("end");

    // Offset 7000 at 100 px/s: x 300 is 10 000 ms, x 100 is 8 000 ms.
    QTest::newRow("leftwards") << 300 << QList<int>{250, 100} << 8000LL << 10000LL;
    QTest::newRow("rightwards") << 100 << QList<int>{200, 300} << 8000LL << 10000LL;
    QTest::newRow("there and back past the anchor") << 300 << QList<int>{350, 100} << 8000LL << 10000LL;
    QTest::newRow("move without moving") << 300 << QList<int>{300} << 10000LL << 10000LL;
    QTest::newRow("past the start of the recording") << 100 << QList<int>{-900} << 0LL << 8000LL;
}

void TestWaveformDisplay::drag()
{
    QFETCH(int, pressX);
    QFETCH(QList<int>, moves);
    QFETCH(qlonglong, start);
    QFETCH(qlonglong, end);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setChannel(1);
    view.setView(0.1, 7000);
    QSignalSpy regions(&view, &WaveformDisplay::regionSelected);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(pressX, 50));
    for (int x : moves)
        QTest::mouseMove(&view, QPoint(x, 50));
    QCOMPARE(regions.count(), moves.size());
    const QList<QVariant> last = regions.last();
    QCOMPARE(last.at(0).toLongLong(), start);
    QCOMPARE(last.at(1).toLongLong(), end);
    QCOMPARE(last.at(2).toInt(), 1);
}

void TestWaveformDisplay::movesOutsideADrag()
{
    WaveformDisplay view;
    QVERIFY(show(view));
    QSignalSpy regions(&view, &WaveformDisplay::regionSelected);

    QTest::mouseMove(&view, QPoint(100, 50));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseMove(&view, QPoint(200, 50));
    QCOMPARE(regions.count(), 0);
}

void TestWaveformDisplay::wheel_data()
{
    QTest::addColumn<QPoint>("angleDelta");
    QTest::addColumn<double>("zoom");

    QTest::newRow("up") << QPoint(0, 120) << 0.11;
    QTest::newRow("down") << QPoint(0, -120) << 0.09;
    QTest::newRow("horizontal only") << QPoint(120, 0) << 0.09;
}

void TestWaveformDisplay::wheel()
{
    QFETCH(QPoint, angleDelta);
    QFETCH(double, zoom);
    WaveformDisplay view;
    QVERIFY(show(view));
    view.setView(0.1, 700);
    QSignalSpy views(&view, &WaveformDisplay::viewChanged);

    const QPointF at(200, 50);
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), angleDelta, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);

    QCOMPARE(views.count(), 1);
    QCOMPARE(views.at(0).at(0).toDouble(), zoom);
    QCOMPARE(views.at(0).at(1).toInt(), 700);
    QCOMPARE(view.currentZoom(), 0.1);
}

QTEST_MAIN(TestWaveformDisplay)
#include "tst_waveformdisplay.moc"
