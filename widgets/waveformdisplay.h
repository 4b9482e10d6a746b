#pragma once

#include "widgets/waveformcolumns.h"

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QWidget>

#include <functional>

// One channel of the recording as a waveform, with the selection, the play
// head, an optional grid and a border. The grid and the waveform are drawn
// into a cache that only data, view, colour, grid and size changes redraw, so
// moving the play head costs one blit. The view never changes its own zoom or
// offset: the wheel asks for a new view through viewChanged(). Zoomed in
// past the peak lists' resolution it draws the samples themselves, read
// through an optional source while it redraws the cache. A view may carry a
// time ruler along its top edge, drawn into the same cache.
class WaveformDisplay : public QWidget
{
    Q_OBJECT

public:
    explicit WaveformDisplay(QWidget *parent = nullptr);

    void setWaveformData(const QList<double> &peaks, qlonglong durationMs, int channel);
    void setChannel(int channel);
    void setPlayPosition(qlonglong ms);
    void setSelection(qlonglong startMs, qlonglong endMs);
    void setShowGrid(bool show);
    void setWaveColor(const QColor &color);
    void setView(double zoom, int offset);
    // The recording's samples, asked for at each redraw and not kept. New
    // samples always come with new peak lists, which redraw the cache.
    void setSampleSource(std::function<SampleView()> source);
    // Shows or hides the time ruler; its labels read track time, or with
    // realTime the time of day from startOfDayMs, as the clock does.
    void setRuler(bool shown, bool realTime, qlonglong startOfDayMs);

    double currentZoom() const { return zoom; }
    int currentOffset() const { return offset; }
    int currentChannel() const { return channel; }
    bool isGridShown() const { return showGrid; }
    bool isRulerShown() const { return ruler.shown; }
    QColor currentWaveColor() const { return waveColor; }
    qlonglong playPosition() const { return playPositionMs; }
    qlonglong selectionStart() const { return selectionStartMs; }
    qlonglong selectionEnd() const { return selectionEndMs; }
    // How often the grid and waveform were drawn, for checking that cheap
    // changes leave the cache alone.
    int cacheRenderCount() const { return cacheRenders; }

signals:
    void viewChanged(double zoom, int offset);
    void scrubRequested(qlonglong ms);
    void regionSelected(qlonglong start, qlonglong end, int channel);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void invalidateCache();
    void renderCache();
    int rulerHeight() const;
    void drawRuler(QPainter &painter, int width);

    QList<double> peaks;
    std::function<SampleView()> sampleSource;
    double peaksPerSecond = 1.0;
    qlonglong playPositionMs = 0;
    qlonglong durationMs = 0;
    double zoom = 0.1;
    int offset = 0;
    qlonglong selectionStartMs = -1;
    qlonglong selectionEndMs = -1;
    bool dragging = false;
    qlonglong dragAnchorMs = 0;
    QPixmap cache;
    bool cacheDirty = true;
    int channel = 0;
    bool showGrid = true;
    QColor waveColor = QColor(0, 255, 0, 255);
    int cacheRenders = 0;
    struct Ruler
    {
        bool shown = false;
        bool realTime = false;
        qlonglong startOfDayMs = 0;
        bool operator==(const Ruler &other) const
        {
            return shown == other.shown && realTime == other.realTime && startOfDayMs == other.startOfDayMs;
        }
    } ruler;
};
