#pragma once

#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

// Arithmetic of the waveform view: time <-> pixel mapping, and one vertical
// line per pixel column folded from a peak list or, zoomed in, traced from
// the samples. Zoom is in pixels per millisecond, offset is the time at the
// left edge in milliseconds.

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

// The recording's own samples: interleaved little-endian signed 16-bit
// frames of `channels` channels, `rate` frames per second.
struct SampleView
{
    QByteArrayView bytes;
    int channels = 0;
    int rate = 0;
};

// Beyond two pixels per list value the lists only show steps, so a view
// with fewer list values per pixel than this draws the samples instead.
inline constexpr double kTracePeaksPerPixel = 0.5;

// The columns 0 .. width - 1 traced from channel `channel` of the samples:
// each spans the lowest to the highest point of the signal (straight lines
// between samples) over the column's time, so neighbouring columns join and
// the recording's real shape shows at any zoom. Columns outside the
// recording are left out. Invalid views or samples draw nothing. Costs
// O(width + frames in view).
QList<WaveColumn> traceColumns(const SampleView &samples, int channel, double zoom, int offset, int width,
                               int height);

// What a view of one channel draws: the traced samples when zoomed in past
// the lists' resolution and the samples hold that channel, otherwise the
// folded lists.
QList<WaveColumn> waveColumns(const QList<double> &peaks, double peaksPerSecond, const SampleView &samples,
                              int channel, double zoom, int offset, int width, int height);
