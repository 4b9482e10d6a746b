#pragma once

#include <QByteArray>
#include <QList>

// The waveform lists: one signed sample value every kPeakSpacingFrames
// frames, scaled to -1.0 .. just under +1.0. Plain samples at a fixed spacing;
// the view folds them into columns when it draws.
constexpr int kPeakSpacingFrames = 500;

struct PeakLists
{
    QList<double> left;
    QList<double> right; // empty for mono
};

// store: interleaved little-endian 16-bit samples. An incomplete last frame
// contributes nothing; with more than two channels only the first two count.
PeakLists buildPeakLists(const QByteArray &store, int channels);

// Brings lists built by buildPeakLists up to date after the bytes
// [byteOffset, byteOffset + byteLength) of the store changed in place: only
// the values taken from those bytes are read again.
void refreshPeakLists(PeakLists &lists, const QByteArray &store, int channels, qint64 byteOffset,
                      qint64 byteLength);
