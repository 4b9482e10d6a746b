#include "audio/editops.h"

#include "audio/pcmlayout.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kBytesPerSample = 2;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kToneAmplitude = 16000.0;
constexpr double kFullScale = 32768.0;
constexpr double kMaxSample = 32767.0;

qint16 sampleAt(const char *data, qint64 index)
{
    return qFromLittleEndian<qint16>(data + kBytesPerSample * index);
}

void setSample(char *data, qint64 index, qint16 value)
{
    qToLittleEndian<qint16>(value, data + kBytesPerSample * index);
}

// Truncates toward zero into the 16-bit range; NaN becomes silence.
qint16 toSample(double value)
{
    if (std::isnan(value))
        return 0;
    return qint16(std::clamp(value, -kFullScale, kMaxSample));
}

// Calls write(sampleIndex, k) for every written sample of the region, k
// counting the frames from the region's start.
template<typename Write>
void forEachWritten(const EditRegion &region, Write write)
{
    qint64 k = 0;
    for (qint64 i = region.firstSample; i < region.limitSample; i += region.channels, ++k) {
        if (region.left)
            write(i, k);
        if (region.right)
            write(i + 1, k);
    }
}

// A region mapped for another store is refused rather than written past
// the end of this one.
bool applies(const QByteArray &store, const EditRegion &region)
{
    return region.acts && region.limitSample * kBytesPerSample <= store.size();
}

EditResult written(const char *logLine)
{
    return {true, QString::fromLatin1(logLine)};
}

} // namespace

EditRegion mapEditRegion(qint64 storeBytes, int sampleRate, int channels, qlonglong startMs, qlonglong endMs,
                         int channel)
{
    EditRegion region;
    if (storeBytes <= 0 || sampleRate <= 0 || channels <= 0 || startMs >= endMs)
        return region;
    region.acts = true;
    region.sampleRate = sampleRate;
    region.channels = channels;
    region.left = channel == -1 || channel == 0;
    region.right = channels >= 2 && (channel == -1 || channel == 1);

    const PcmLayout layout{sampleRate, channels, int(kBytesPerSample) * channels};
    // Past this time every frame lies beyond the store; holding the times
    // there keeps the products far from overflow without moving the result.
    const qint64 lastMs = layout.msAtFrame(layout.framesIn(storeBytes)) + 1;
    const auto frameByteAt = [&](qlonglong ms) {
        return layout.byteAtMs(std::clamp<qint64>(ms, 0, lastMs));
    };
    const qint64 wholeFrameSamples = layout.framesIn(storeBytes) * channels;
    region.limitSample = std::min(frameByteAt(endMs) / kBytesPerSample, wholeFrameSamples);
    region.firstSample = std::min(frameByteAt(startMs) / kBytesPerSample, region.limitSample);
    return region;
}

EditResult silenceRegion(QByteArray &store, const EditRegion &region)
{
    if (!applies(store, region))
        return {};
    char *data = store.data();
    forEachWritten(region, [data](qint64 i, qint64) { setSample(data, i, 0); });
    return written("DSP: Region Silenced.");
}

EditResult toneRegion(QByteArray &store, const EditRegion &region, double frequencyHz)
{
    if (!applies(store, region))
        return {};
    char *data = store.data();
    const double rate = region.sampleRate;
    const double radiansPerSecond = frequencyHz * kTwoPi;
    forEachWritten(region, [&](qint64 i, qint64 k) {
        setSample(data, i, toSample(std::sin(double(k) / rate * radiansPerSecond) * kToneAmplitude));
    });
    return written("DSP: Tone Applied.");
}

EditResult normalizeRegion(QByteArray &store, const EditRegion &region, double targetDbfs)
{
    if (!applies(store, region))
        return {};
    const char *samples = store.constData();
    int peak = 0;
    for (qint64 j = region.firstSample; j < region.limitSample; ++j)
        peak = std::max(peak, std::abs(int(sampleAt(samples, j))));
    if (peak < 1)
        return {};

    double gain = kMaxSample;
    if (targetDbfs < 0)
        gain = kMaxSample * std::pow(10.0, targetDbfs / 20.0);
    gain /= peak;

    char *data = store.data();
    forEachWritten(region, [&](qint64 i, qint64) { setSample(data, i, toSample(sampleAt(data, i) * gain)); });
    return {true, QStringLiteral("DSP: Normalized (Gain: %1)").arg(gain, 0, 'g', 6)};
}

EditResult trimPeaksRegion(QByteArray &store, const EditRegion &region, double ratio)
{
    if (!applies(store, region))
        return {};
    const int threshold = std::isnan(ratio) ? 0 : int(std::clamp(ratio * kFullScale, 0.0, kFullScale));
    char *data = store.data();
    forEachWritten(region, [&](qint64 i, qint64) {
        const int sample = sampleAt(data, i);
        setSample(data, i, qint16(std::clamp(sample, -threshold, threshold)));
    });
    return written("DSP: Peaks Trimmed.");
}
