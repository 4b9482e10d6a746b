#pragma once

#include <QtGlobal>

// The arithmetic of the shared view: zoom in pixels per millisecond and the
// time at the left edge in ms.
struct View
{
    double zoom = 0.1;
    int offset = 0;
};

inline constexpr double kMinZoom = 0.00001;
inline constexpr double kMaxZoom = 500.0;
inline constexpr int kFallbackViewWidth = 1000;
inline constexpr qlonglong kMinSelectionSpanMs = 10;

// Zoom by `factor` about the time at the middle of a view `width` pixels
// wide, kept within kMinZoom..kMaxZoom; the left edge never goes below 0.
View zoomAboutCentre(View view, int width, double factor);

// The selection filling the view: at most kMaxZoom, never spanning less
// than kMinSelectionSpanMs; a width of 0 or less counts as kFallbackViewWidth.
View zoomToSelection(qlonglong start, qlonglong end, int width);

// Milliseconds the view shows across `width` pixels.
qlonglong visibleSpanMs(double zoom, int width);

// The scroll bar over the recording: the left edge runs from 0 to the last
// place where the view still ends within the recording.
struct ScrollRange
{
    int maximum = 0;
    int pageStep = 1;
    int singleStep = 1;
};
ScrollRange scrollRangeFor(qlonglong durationMs, double zoom, int width);
