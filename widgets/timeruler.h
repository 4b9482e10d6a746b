#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Arithmetic of the time ruler over a waveform view: which step between
// labels suits a zoom, where the labels stand, and what they say. Zoom is in
// pixels per millisecond, offset is the track time at the left edge; origin
// is the time of day of the recording's start when the ruler reads real
// time, 0 when it reads track time.

// The smallest round step (1-2-5 ms up to half a second, then 1, 2, 5, 10,
// 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h) whose labels stand at
// least minSpacingPx apart; the largest when none does. 0 for a zoom or
// spacing that is not finite and positive: no ruler.
qlonglong rulerStepMs(double zoom, double minSpacingPx);

// One label of the ruler: at pixel x, for the displayed time ms (origin
// included, not yet wrapped at midnight).
struct RulerTick
{
    int x = 0;
    qlonglong ms = 0;
};

// The ticks within 0 .. width - 1, at displayed times that are multiples of
// the step, so real-time labels fall on round times of day. Nothing for a
// step closer than one pixel or an invalid view.
QList<RulerTick> rulerTicks(double zoom, int offset, int width, qlonglong stepMs, qlonglong originMs);

// The clock's text for a tick, without the milliseconds when the step is
// whole seconds; real time wraps at midnight as the clock does.
QString rulerLabel(qlonglong ms, qlonglong stepMs, bool realTime);
