#include "widgets/waveformdisplay.h"

#include "widgets/timeruler.h"
#include "widgets/waveformcolumns.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

const QColor kBackground(20, 20, 20, 255);
const QColor kSelectionFill(255, 255, 0, 40);
const QColor kSelectionEdge(255, 255, 0, 255);
const QColor kBorder(60, 60, 60, 255);
const QColor kGrid(50, 50, 50, 255);
const QColor kPlaceholderText(100, 100, 100, 255);
const QColor kRulerBackground(32, 32, 32, 255);
const QColor kRulerText(200, 200, 200, 255);

constexpr int kMinimumHeight = 100;
constexpr int kGridSpacing = 100;
constexpr double kZoomTolerance = 0.0001;
constexpr double kWheelZoomIn = 1.1;
constexpr double kWheelZoomOut = 0.9;
constexpr int kRulerPadding = 4;
constexpr int kRulerTickHeight = 5;

} // namespace

WaveformDisplay::WaveformDisplay(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumHeight(kMinimumHeight);
    setAttribute(Qt::WA_MouseTracking);
}

void WaveformDisplay::setWaveformData(const QList<double> &peaks, qlonglong durationMs, int channel)
{
    this->peaks = peaks;
    this->durationMs = durationMs;
    this->channel = channel;
    peaksPerSecond = peaksPerSecondFor(peaks.size(), durationMs);
    invalidateCache();
}

void WaveformDisplay::setChannel(int channel)
{
    this->channel = channel;
}

void WaveformDisplay::setPlayPosition(qlonglong ms)
{
    playPositionMs = ms;
    update();
}

void WaveformDisplay::setSelection(qlonglong startMs, qlonglong endMs)
{
    selectionStartMs = startMs;
    selectionEndMs = endMs;
    update();
}

void WaveformDisplay::setShowGrid(bool show)
{
    if (show == showGrid)
        return;
    showGrid = show;
    invalidateCache();
}

void WaveformDisplay::setWaveColor(const QColor &color)
{
    waveColor = color;
    invalidateCache();
}

void WaveformDisplay::setView(double zoom, int offset)
{
    // Both views get every view request; tiny zoom jitter is not worth a redraw.
    if (std::abs(zoom - this->zoom) <= kZoomTolerance && offset == this->offset)
        return;
    this->zoom = zoom;
    this->offset = offset;
    invalidateCache();
}

void WaveformDisplay::setSampleSource(std::function<SampleView()> source)
{
    sampleSource = std::move(source);
    invalidateCache();
}

void WaveformDisplay::setRuler(bool shown, bool realTime, qlonglong startOfDayMs)
{
    // A hidden ruler has no time source worth a redraw.
    const Ruler next = shown ? Ruler{true, realTime, realTime ? startOfDayMs : 0} : Ruler{};
    if (next == ruler)
        return;
    ruler = next;
    invalidateCache();
}

void WaveformDisplay::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging = true;
    const qlonglong t = pixelToTime(event->position().x(), zoom, offset);
    dragAnchorMs = t;
    // A click starts a new selection, so the old one goes everywhere: what
    // acts on the selection must not act on one that is no longer shown.
    emit regionSelected(-1, -1, channel);
    selectionStartMs = t;
    selectionEndMs = t;
    update();
    emit scrubRequested(t);
}

void WaveformDisplay::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
}

void WaveformDisplay::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging)
        return;
    const qlonglong t = pixelToTime(event->position().x(), zoom, offset);
    selectionEndMs = t;
    emit regionSelected(qMin(dragAnchorMs, t), qMax(dragAnchorMs, t), channel);
    update();
}

void WaveformDisplay::wheelEvent(QWheelEvent *event)
{
    const double factor = event->angleDelta().y() > 0 ? kWheelZoomIn : kWheelZoomOut;
    emit viewChanged(zoom * factor, offset);
    event->accept();
}

void WaveformDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (cacheDirty)
        renderCache();
    painter.drawPixmap(0, 0, cache);

    const int h = height();
    if (selectionStartMs != -1 && selectionEndMs != -1) {
        const int x1 = timeToPixel(selectionStartMs, zoom, offset);
        const int x2 = timeToPixel(selectionEndMs, zoom, offset);
        painter.fillRect(x1, 0, x2 - x1, h, kSelectionFill);
        painter.setPen(kSelectionEdge);
        painter.drawLine(x1, 0, x1, h);
        painter.drawLine(x2, 0, x2, h);
    }

    const int head = timeToPixel(playPositionMs, zoom, offset);
    painter.setPen(QPen(Qt::red, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(head, 0, head, h);

    painter.setPen(kBorder);
    painter.drawRect(0, 0, width() - 1, h - 1);
}

void WaveformDisplay::resizeEvent(QResizeEvent *)
{
    invalidateCache();
}

void WaveformDisplay::invalidateCache()
{
    cacheDirty = true;
    update();
}

void WaveformDisplay::renderCache()
{
    ++cacheRenders;
    cacheDirty = false;
    const qreal ratio = devicePixelRatioF();
    cache = QPixmap(size() * ratio);
    if (cache.isNull())
        return;
    cache.setDevicePixelRatio(ratio);
    cache.fill(Qt::transparent);

    QPainter painter(&cache);
    const int w = width();
    const int h = height();
    if (peaks.isEmpty()) {
        painter.setPen(kPlaceholderText);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No Audio Loaded"));
        return;
    }

    // The ruler takes a band of its own, so no peak hides under a label.
    const int top = rulerHeight();
    if (top > 0)
        drawRuler(painter, w);
    painter.translate(0, top);
    const int waveHeight = h - top;

    if (showGrid) {
        painter.setPen(kGrid);
        for (int x = 0; x < w; x += kGridSpacing)
            painter.drawLine(x, 0, x, waveHeight);
        painter.drawLine(0, waveHeight / 2, w, waveHeight / 2);
    }

    painter.setPen(QPen(waveColor, 1));
    const SampleView samples = sampleSource ? sampleSource() : SampleView();
    const QList<WaveColumn> columns =
        waveColumns(peaks, peaksPerSecond, samples, channel, zoom, offset, w, waveHeight);
    for (const WaveColumn &column : columns)
        painter.drawLine(column.x, column.top, column.x, column.bottom);
}

int WaveformDisplay::rulerHeight() const
{
    return ruler.shown ? fontMetrics().height() + kRulerPadding + kRulerTickHeight : 0;
}

void WaveformDisplay::drawRuler(QPainter &painter, int width)
{
    const int band = rulerHeight();
    painter.fillRect(0, 0, width, band, kRulerBackground);
    painter.setPen(kRulerText);
    // Labels at least one widest label and a gap apart, whatever the font.
    const QString widest = rulerLabel(0, 1, false);
    const int spacing = fontMetrics().horizontalAdvance(widest) + 3 * kRulerPadding;
    const qlonglong step = rulerStepMs(zoom, spacing);
    const qlonglong origin = ruler.realTime ? ruler.startOfDayMs : 0;
    for (const RulerTick &tick : rulerTicks(zoom, offset, width, step, origin)) {
        painter.drawLine(tick.x, band - kRulerTickHeight, tick.x, band - 1);
        painter.drawText(tick.x + kRulerPadding / 2, kRulerPadding / 2 + fontMetrics().ascent(),
                         rulerLabel(tick.ms, step, ruler.realTime));
    }
}
