#include "ui/viewnavigation.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int toOffset(double ms)
{
    return int(std::clamp(ms, 0.0, double(INT_MAX)));
}

} // namespace

View zoomAboutCentre(View view, int width, double factor)
{
    const double centre = (width / view.zoom) * 0.5 + view.offset;
    const double zoom = std::clamp(view.zoom * factor, kMinZoom, kMaxZoom);
    return {zoom, toOffset(std::trunc(centre - (width / zoom) * 0.5))};
}

View zoomToSelection(qlonglong start, qlonglong end, int width)
{
    const int w = width > 0 ? width : kFallbackViewWidth;
    const qlonglong span = std::max(end - start, kMinSelectionSpanMs);
    return {std::min(double(w) / double(span), kMaxZoom), toOffset(double(start))};
}

qlonglong visibleSpanMs(double zoom, int width)
{
    if (!(zoom > 0.0) || width <= 0)
        return 0;
    // Rounded: a fitted view is exactly the recording, not a hair short.
    return std::llround(std::min(width / zoom, double(LLONG_MAX / 2)));
}

ScrollRange scrollRangeFor(qlonglong durationMs, double zoom, int width)
{
    const qlonglong span = visibleSpanMs(zoom, width);
    const qlonglong maximum = std::clamp<qlonglong>(durationMs - span, 0, INT_MAX);
    const int page = int(std::clamp<qlonglong>(span, 1, INT_MAX));
    return {int(maximum), page, std::max(1, page / 10)};
}
