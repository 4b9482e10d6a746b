#include "audio/peaklists.h"

#include "audio/pcmlayout.h"

#include <QtEndian>
#include <QVarLengthArray>

#include <algorithm>

namespace {

struct Extremes
{
    int lo = 0;
    int hi = 0;
};

constexpr int kLanes = 16; // even, so in stereo lane k always holds channel k % 2

// Extremes of channels 0 and 1 of interleaved frames. Mono and stereo, nearly
// every recording, run as a flat min/max over fixed groups of kLanes samples,
// a loop the compiler turns into vector code even at -O2.
void scanExtremes(const qint16 *samples, qsizetype frames, int channels, Extremes *out)
{
    out[0] = out[1] = Extremes();
    if (channels > 2) {
        for (qsizetype f = 0; f < frames; ++f) {
            for (int c = 0; c < 2; ++c) {
                const int v = samples[f * channels + c];
                out[c] = {std::min(out[c].lo, v), std::max(out[c].hi, v)};
            }
        }
        return;
    }
    const qsizetype count = frames * channels;
    qint16 lo[kLanes] = {};
    qint16 hi[kLanes] = {};
    qsizetype i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (int k = 0; k < kLanes; ++k) {
            const qint16 v = samples[i + k];
            lo[k] = v < lo[k] ? v : lo[k];
            hi[k] = v > hi[k] ? v : hi[k];
        }
    }
    for (int k = 0; i + k < count; ++k) {
        const qint16 v = samples[i + k];
        lo[k] = v < lo[k] ? v : lo[k];
        hi[k] = v > hi[k] ? v : hi[k];
    }
    for (int k = 0; k < kLanes; ++k) {
        Extremes &e = out[k % channels];
        e = {std::min<int>(e.lo, lo[k]), std::max<int>(e.hi, hi[k])};
    }
}

// The sample of largest magnitude of one channel, given its extremes. Only
// when the block reaches equally far both ways does it need another look, to
// take whichever comes first.
qint16 loudest(const qint16 *samples, qsizetype frames, int stride, Extremes e)
{
    if (-e.lo != e.hi)
        return qint16(-e.lo > e.hi ? e.lo : e.hi);
    for (qsizetype f = 0; f < frames; ++f) {
        const qint16 v = samples[f * stride];
        if (v == e.lo || v == e.hi)
            return v;
    }
    return 0;
}

// Writes the value of block n into the lists, which must already hold it.
void readBlock(PeakLists &lists, const QByteArray &store, int channels, qsizetype n,
               QVarLengthArray<qint16, 2 * kPeakSpacingFrames> &buffer)
{
    const qsizetype wholeFrames = store.size() / (2 * qsizetype(channels));
    const qsizetype first = n * kPeakSpacingFrames;
    const qsizetype frames = std::min<qsizetype>(kPeakSpacingFrames, wholeFrames - first);
    buffer.resize(frames * channels);
    qFromLittleEndian<qint16>(store.constData() + 2 * first * channels, buffer.size(), buffer.data());

    Extremes extremes[2];
    scanExtremes(buffer.data(), frames, channels, extremes);

    lists.left[n] = loudest(buffer.data(), frames, channels, extremes[0]) / 32768.0;
    if (channels >= 2)
        lists.right[n] = loudest(buffer.data() + 1, frames, channels, extremes[1]) / 32768.0;
}

} // namespace

PeakLists buildPeakLists(const QByteArray &store, int channels)
{
    PeakLists lists;
    if (channels <= 0)
        return lists;
    const qsizetype wholeFrames = store.size() / (2 * qsizetype(channels));
    const qsizetype count = (wholeFrames + kPeakSpacingFrames - 1) / kPeakSpacingFrames;
    lists.left.resize(count);
    if (channels >= 2)
        lists.right.resize(count);
    QVarLengthArray<qint16, 2 * kPeakSpacingFrames> buffer;
    for (qsizetype n = 0; n < count; ++n)
        readBlock(lists, store, channels, n, buffer);
    return lists;
}

void refreshPeakLists(PeakLists &lists, const QByteArray &store, int channels, qint64 byteOffset,
                      qint64 byteLength)
{
    if (channels <= 0 || byteLength <= 0)
        return;
    const PcmLayout layout{0, channels, 2 * channels};
    const qint64 frameBytes = layout.frameBytes;
    const qint64 wholeFrames = layout.framesIn(store.size());
    const qint64 firstBlock = qMax<qint64>(0, byteOffset) / frameBytes / kPeakSpacingFrames;
    const qint64 lastBlock = (byteOffset + byteLength - 1) / frameBytes / kPeakSpacingFrames;
    qint64 blocks = qMin<qint64>((wholeFrames + kPeakSpacingFrames - 1) / kPeakSpacingFrames, lists.left.size());
    if (channels >= 2)
        blocks = qMin<qint64>(blocks, lists.right.size());
    QVarLengthArray<qint16, 2 * kPeakSpacingFrames> buffer;
    for (qint64 n = firstBlock; n <= lastBlock && n < blocks; ++n)
        readBlock(lists, store, channels, n, buffer);
}
