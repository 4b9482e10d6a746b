#pragma once

#include <QtGlobal>

// How interleaved PCM lies in bytes, and the conversions between time,
// frames and bytes. Each rounding is written once, here, under a name that
// says what it is for.
struct PcmLayout
{
    int rate = 0;       // frames per second
    int channels = 0;
    int frameBytes = 0; // one sample of every channel

    // Whole frames in `bytes`: a trailing partial frame holds no sound.
    qint64 framesIn(qint64 bytes) const { return frameBytes > 0 ? bytes / frameBytes : 0; }
    qint64 bytesOf(qint64 frames) const { return frames * frameBytes; }

    // The time a frame starts, in ms rounded down: a cue or a duration never
    // reaches past the sound it stands for.
    qint64 msAtFrame(qint64 frame) const { return rate > 0 ? frame * 1000 / rate : 0; }

    // The frame that plays at `ms`, rounded down, for seeking.
    qint64 frameAtMs(qint64 ms) const { return ms * rate / 1000; }
    // Where that frame starts in the bytes.
    qint64 byteAtMs(qint64 ms) const { return bytesOf(frameAtMs(ms)); }

    // Seconds in `bytes` of whole frames, for reports.
    double secondsIn(qint64 bytes) const { return rate > 0 ? double(framesIn(bytes)) / rate : 0.0; }
};
