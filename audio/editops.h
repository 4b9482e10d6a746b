#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Where an edit of the time region [startMs, endMs) lands in a sample store
// of interleaved little-endian 16-bit samples. Every visited frame is whole:
// the range starts and ends on frame boundaries inside the store.
struct EditRegion
{
    // False for an empty store, an unusable format, or end <= start: the edit
    // is a no-op and records no history step. A region lying wholly outside
    // the store still acts, over no frames.
    bool acts = false;
    int sampleRate = 0;
    int channels = 0;
    qint64 firstSample = 0; // the first sample of the first visited frame
    qint64 limitSample = 0; // one past the last sample of the last visited frame
    bool left = false;      // the first sample of each frame is written
    bool right = false;     // the second sample; never for mono

    qint64 byteOffset() const { return 2 * firstSample; }
    qint64 byteLength() const { return 2 * (limitSample - firstSample); }
};

// channel: -1 both, 0 left, 1 right. Byte positions are
// rate x channels x ms x 2 / 1000, rounded toward zero and then down to a
// frame; the region is cut at 0 and at the last whole frame of the store.
EditRegion mapEditRegion(qint64 storeBytes, int sampleRate, int channels, qlonglong startMs, qlonglong endMs,
                         int channel);

// What an edit did to the store.
struct EditResult
{
    // The selected samples were rewritten (possibly to the same values):
    // rebuild the waveform lists and write logLine to the event log.
    bool written = false;
    QString logLine;
};

// The edits write the selected channels of the region in place, in one pass
// (normalise: two). A region that does not act, or that was mapped for a
// larger store, leaves the store alone and gives an empty result.

// Every written sample becomes 0.
EditResult silenceRegion(QByteArray &store, const EditRegion &region);

// sin(k / rate x f x 2pi) x 16000, truncated, where k counts the frames from
// the region's start: a tone at about half of full scale, phase 0 at the start.
EditResult toneRegion(QByteArray &store, const EditRegion &region, double frequencyHz);

// Scales the written samples so that the region's peak, taken over every
// channel whatever the selection, reaches targetDbfs (0 dBFS for a target
// at or above 0). A region of zeros is left as it is and not written.
EditResult normalizeRegion(QByteArray &store, const EditRegion &region, double targetDbfs);

// Hard clip at +-(ratio x 32768), truncated; the threshold is held within 0
// and full scale, so a ratio at or below 0 silences and one of 1 or more
// changes nothing.
EditResult trimPeaksRegion(QByteArray &store, const EditRegion &region, double ratio);
