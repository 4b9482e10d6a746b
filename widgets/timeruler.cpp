#include "widgets/timeruler.h"

#include "ui/metadatapane.h"

#include <cmath>

namespace {

constexpr qlonglong kSecond = 1000;
constexpr qlonglong kMinute = 60 * kSecond;
constexpr qlonglong kHour = 60 * kMinute;

constexpr qlonglong kSteps[] = {
    1, 2, 5, 10, 20, 50, 100, 200, 500,
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour,
};

bool finitePositive(double value)
{
    return std::isfinite(value) && value > 0;
}

} // namespace

qlonglong rulerStepMs(double zoom, double minSpacingPx)
{
    if (!finitePositive(zoom) || !finitePositive(minSpacingPx))
        return 0;
    for (qlonglong step : kSteps) {
        if (double(step) * zoom >= minSpacingPx)
            return step;
    }
    return std::end(kSteps)[-1];
}

QList<RulerTick> rulerTicks(double zoom, int offset, int width, qlonglong stepMs, qlonglong originMs)
{
    QList<RulerTick> ticks;
    if (!finitePositive(zoom) || width <= 0 || stepMs <= 0 || double(stepMs) * zoom < 1.0)
        return ticks;
    const qlonglong left = originMs + offset;
    // The first multiple of the step at or after the left edge.
    qlonglong ms = left >= 0 ? (left + stepMs - 1) / stepMs * stepMs : -(-left / stepMs) * stepMs;
    for (;; ms += stepMs) {
        const double x = double(ms - left) * zoom;
        if (x >= width)
            break;
        ticks.append({int(x), ms});
    }
    return ticks;
}

QString rulerLabel(qlonglong ms, qlonglong stepMs, bool realTime)
{
    QString text = clockText(ms, realTime, 0);
    if (stepMs % kSecond == 0)
        text.chop(4); // ".zzz"
    return text;
}
