#include "widgets/waveformcolumns.h"

#include <algorithm>
#include <cmath>

int timeToPixel(qlonglong ms, double zoom, int offset)
{
    qlonglong distance = 0;
    const double span = qSubOverflow(ms, qlonglong(offset), &distance)
        ? double(ms) - double(offset)
        : double(distance);
    const double x = span * zoom;
    if (std::isnan(x) || x <= -kPixelLimit)
        return -kPixelLimit;
    if (x >= kPixelLimit)
        return kPixelLimit;
    return int(x);
}

qlonglong pixelToTime(double x, double zoom, int offset)
{
    double elapsed = std::trunc(x / zoom);
    if (std::isnan(elapsed))
        elapsed = 0.0;
    elapsed = std::clamp(elapsed, -double(kTimeLimitMs), double(kTimeLimitMs));
    return std::clamp(qlonglong(elapsed) + offset, qlonglong(0), kTimeLimitMs);
}

double peaksPerSecondFor(qsizetype peakCount, qlonglong durationMs)
{
    if (peakCount <= 0 || durationMs <= 0)
        return 1.0;
    return double(peakCount) * 1000.0 / double(durationMs);
}

QList<WaveColumn> foldColumns(const QList<double> &peaks, double peaksPerSecond,
                              double zoom, int offset, int width, int height)
{
    QList<WaveColumn> columns;
    if (peaks.isEmpty() || width <= 0 || !std::isfinite(zoom) || zoom <= 0.0
        || !std::isfinite(peaksPerSecond) || peaksPerSecond <= 0.0)
        return columns;

    const double step = (1.0 / zoom) * (peaksPerSecond / 1000.0);
    if (!std::isfinite(step) || step <= 0.0)
        return columns;

    // Indices stay in double until they are known to lie inside the list, so
    // far offsets and tiny zooms cannot overflow an int.
    const double first = std::trunc(offset * peaksPerSecond / 1000.0);
    const double count = double(peaks.size());
    const double span = std::max(1.0, std::trunc(step));
    const int mid = height / 2;

    for (int x = 0; x < width; ++x) {
        const double index = std::trunc(x * step) + first;
        if (index >= count)
            break;
        if (!(index >= 0.0))
            continue; // before the recording starts
        const qsizetype begin = qsizetype(index);
        const qsizetype end = begin + qsizetype(std::min(span, count - index));

        double lo = 0.0;
        double hi = 0.0;
        for (qsizetype i = begin; i < end; ++i) {
            const double value = peaks.at(i);
            if (value < lo)
                lo = value;
            if (value > hi)
                hi = value;
        }
        lo = std::max(lo, -1.0);
        hi = std::min(hi, 1.0);

        WaveColumn column{x, mid - int(mid * hi), mid - int(mid * lo)};
        if (column.top == column.bottom)
            ++column.bottom;
        columns.append(column);
    }
    return columns;
}
