#pragma once

#include <QList>
#include <QtGlobal>

// Arithmetic of the waveform view: time <-> pixel mapping and the folding of
// a peak list into one vertical line per pixel column. Zoom is in pixels per
// millisecond, offset is the time at the left edge in milliseconds.

// timeToPixel never goes beyond +/- this: far outside any widget (at most
// 2^24 - 1 pixels wide), and two such positions still subtract within int.
inline constexpr int kPixelLimit = 1 << 28;

// pixelToTime never goes beyond this, so adding an offset cannot overflow.
inline constexpr qlonglong kTimeLimitMs = qlonglong(1) << 62;

// x of time ms: (ms - offset) * zoom, truncated toward zero. Positions that
// do not fit (huge times, huge or non-finite zoom) saturate to +/- kPixelLimit;
// a position that is not a number lies to the left at -kPixelLimit.
int timeToPixel(qlonglong ms, double zoom, int offset);

// Time under pixel x: x / zoom truncated toward zero, plus offset, kept
// within 0 .. kTimeLimitMs. A quotient that is not a number (x and zoom both
// 0) counts as 0, i.e. the left edge.
qlonglong pixelToTime(double x, double zoom, int offset);

// peakCount * 1000 / durationMs, or 1.0 for an empty list or no duration.
double peaksPerSecondFor(qsizetype peakCount, qlonglong durationMs);

// One drawn column: a vertical line from (x, top) to (x, bottom).
struct WaveColumn
{
    int x = 0;
    int top = 0;
    int bottom = 0;
};

// The columns 0 .. width - 1 of a view height pixels high, each showing the
// lowest and highest of the peaks under it (and always the centre line).
// Columns before the first peak are left out; the list ends where the peaks
// end. Peaks beyond full scale are drawn to the edge. A zoom, rate or
// resulting peaks-per-pixel step that is not finite and positive draws
// nothing.
QList<WaveColumn> foldColumns(const QList<double> &peaks, double peaksPerSecond,
                              double zoom, int offset, int width, int height);
