#include "audio/peaklists.h"

namespace {

double sampleAt(const QByteArray &store, qsizetype index)
{
    const auto lo = quint8(store[2 * index]);
    const auto hi = quint8(store[2 * index + 1]);
    return qint16(quint16(lo | (hi << 8))) / 32768.0;
}

} // namespace

PeakLists buildPeakLists(const QByteArray &store, int channels)
{
    PeakLists lists;
    if (channels <= 0)
        return lists;
    const qsizetype samples = store.size() / 2;
    const qsizetype stride = qsizetype(channels) * kPeakSpacingFrames;
    const qsizetype count = (samples / channels + kPeakSpacingFrames - 1) / kPeakSpacingFrames;
    lists.left.reserve(count);
    if (channels >= 2)
        lists.right.reserve(count);
    for (qsizetype i = 0; i + channels <= samples; i += stride) {
        lists.left.append(sampleAt(store, i));
        if (channels >= 2)
            lists.right.append(sampleAt(store, i + 1));
    }
    return lists;
}

void refreshPeakLists(PeakLists &lists, const QByteArray &store, int channels, qint64 byteOffset,
                      qint64 byteLength)
{
    if (channels <= 0 || byteLength <= 0)
        return;
    const qint64 frameBytes = 2LL * channels;
    const qint64 firstFrame = qMax<qint64>(0, byteOffset) / frameBytes;
    const qint64 lastFrame = (byteOffset + byteLength - 1) / frameBytes;
    const qint64 wholeSamples = store.size() / 2;
    for (qint64 n = (firstFrame + kPeakSpacingFrames - 1) / kPeakSpacingFrames;
         n <= lastFrame / kPeakSpacingFrames && n < lists.left.size(); ++n) {
        const qint64 i = n * kPeakSpacingFrames * channels;
        if (i + channels > wholeSamples)
            break;
        lists.left[n] = sampleAt(store, i);
        if (channels >= 2 && n < lists.right.size())
            lists.right[n] = sampleAt(store, i + 1);
    }
}
