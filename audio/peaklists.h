#pragma once

#include <QByteArray>
#include <QList>

// The waveform lists: one signed value for every block of kPeakSpacingFrames
// frames, the block's sample of largest magnitude (the first of equals),
// scaled to -1.0 .. just under +1.0. Every frame counts, so a click or a
// burst shorter than a block still shows at full height.
constexpr int kPeakSpacingFrames = 500;

struct PeakLists
{
    QList<double> left;
    QList<double> right; // empty for mono
};

// store: interleaved little-endian 16-bit samples. An incomplete last frame
// contributes nothing, the last block may be short; with more than two
// channels only the first two are listed.
PeakLists buildPeakLists(const QByteArray &store, int channels);

// Brings lists built by buildPeakLists up to date after the bytes
// [byteOffset, byteOffset + byteLength) of the store changed in place: only
// the blocks overlapping those bytes are read again.
void refreshPeakLists(PeakLists &lists, const QByteArray &store, int channels, qint64 byteOffset,
                      qint64 byteLength);
