#include "widgets/waveformcolumns.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

// One channel of the samples as a signal over frame positions, joined by
// straight lines between frames.
class ChannelSignal
{
public:
    ChannelSignal(const SampleView &samples, int channel)
        : data(samples.bytes.data())
        , stride(qsizetype(samples.channels))
        , channel(channel)
        , frames(samples.bytes.size() / (2 * stride))
    {
    }

    qsizetype frameCount() const { return frames; }

    double at(qsizetype frame) const
    {
        return qFromLittleEndian<qint16>(data + 2 * (frame * stride + channel)) / 32768.0;
    }

    // position lies in 0 .. frameCount() - 1.
    double between(double position) const
    {
        const auto frame = qsizetype(position);
        if (frame + 1 >= frames)
            return at(frames - 1);
        const double before = at(frame);
        return before + (position - double(frame)) * (at(frame + 1) - before);
    }

private:
    const char *data;
    qsizetype stride;
    int channel;
    qsizetype frames;
};

WaveColumn columnAt(int x, int height, double lo, double hi)
{
    lo = std::max(lo, -1.0);
    hi = std::min(hi, 1.0);
    const int mid = height / 2;
    WaveColumn column{x, mid - int(mid * hi), mid - int(mid * lo)};
    // A flat stretch still shows a pixel, inside the view: at full negative
    // scale (-32768 held) that pixel lies above the bottom edge.
    if (column.top == column.bottom) {
        if (column.bottom < std::max(2 * mid, mid + 1))
            ++column.bottom;
        else
            --column.top;
    }
    return column;
}

} // namespace

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
        columns.append(columnAt(x, height, lo, hi));
    }
    return columns;
}

QList<WaveColumn> traceColumns(const SampleView &samples, int channel, double zoom, int offset, int width,
                               int height)
{
    QList<WaveColumn> columns;
    if (samples.channels <= 0 || channel < 0 || channel >= samples.channels || samples.rate <= 0 || width <= 0
        || !std::isfinite(zoom) || zoom <= 0.0)
        return columns;
    const ChannelSignal signal(samples, channel);
    if (signal.frameCount() == 0)
        return columns;

    // Frame positions stay in double until clipped to the recording.
    const double framesPerMs = samples.rate / 1000.0;
    const double last = double(signal.frameCount() - 1);
    for (int x = 0; x < width; ++x) {
        const double from = (offset + x / zoom) * framesPerMs;
        const double to = (offset + (x + 1) / zoom) * framesPerMs;
        if (!(from <= last))
            break; // past the end, or no longer a number
        if (!(to >= 0.0))
            continue; // before the recording starts
        const double a = std::max(from, 0.0);
        const double b = std::min(to, last);
        const double start = signal.between(a);
        const double end = signal.between(b);
        double lo = std::min(start, end);
        double hi = std::max(start, end);
        for (auto frame = qsizetype(std::ceil(a)); double(frame) <= b; ++frame) {
            const double value = signal.at(frame);
            lo = std::min(lo, value);
            hi = std::max(hi, value);
        }
        columns.append(columnAt(x, height, lo, hi));
    }
    return columns;
}

QList<WaveColumn> waveColumns(const QList<double> &peaks, double peaksPerSecond, const SampleView &samples,
                              int channel, double zoom, int offset, int width, int height)
{
    const double peaksPerPixel = (1.0 / zoom) * (peaksPerSecond / 1000.0);
    const bool traced = !peaks.isEmpty() && peaksPerPixel < kTracePeaksPerPixel && channel >= 0
        && channel < samples.channels;
    if (traced)
        return traceColumns(samples, channel, zoom, offset, width, height);
    return foldColumns(peaks, peaksPerSecond, zoom, offset, width, height);
}
