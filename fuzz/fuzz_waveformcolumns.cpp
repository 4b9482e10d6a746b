// Arbitrary views and peak lists through the waveform arithmetic: nothing may
// overflow, and every result must stay where the widget can use it.
#include "widgets/waveformcolumns.h"
#include "fuzz/fuzzsupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Any bit pattern, so NaN, infinities and subnormals come up too.
double anyDouble(FuzzedDataProvider &input)
{
    const auto bits = input.ConsumeIntegral<std::uint64_t>();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Folded columns always reach the centre line; traced ones need not.
void checkColumns(const QList<WaveColumn> &columns, int width, int height, bool reachCentre = true)
{
    require(columns.size() <= std::max(width, 0));
    int previous = -1;
    const int mid = height / 2;
    for (const WaveColumn &c : columns) {
        require(c.x > previous && c.x < width);
        previous = c.x;
        if (height >= 0) {
            require(c.top >= 0 && c.top <= (reachCentre ? mid : 2 * mid));
            require(c.bottom >= (reachCentre ? mid : 0) && c.bottom <= std::max(2 * mid, mid + 1));
            require(c.top < c.bottom);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const double zoom = anyDouble(input);
    const double rate = anyDouble(input);
    const double x = anyDouble(input);
    const auto offset = input.ConsumeIntegral<int>();
    const auto ms = input.ConsumeIntegral<qlonglong>();
    const auto durationMs = input.ConsumeIntegral<qlonglong>();
    const int width = input.ConsumeIntegralInRange<int>(-16, 1 << 14);
    const auto height = input.ConsumeIntegral<int>();
    const int channels = input.ConsumeIntegralInRange<int>(-1, 4);
    const int channel = input.ConsumeIntegralInRange<int>(-1, 4);
    const auto sampleRate = input.ConsumeIntegral<int>();

    // The rest is read both as peaks and as the samples of a store.
    const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
    QList<double> peaks;
    for (std::size_t i = 0; i + sizeof(double) <= rest.size(); i += sizeof(double)) {
        double value = 0;
        std::memcpy(&value, rest.data() + i, sizeof value);
        peaks.append(value);
    }
    const SampleView samples{QByteArrayView(rest.data(), qsizetype(rest.size())), channels, sampleRate};

    const int pixel = timeToPixel(ms, zoom, offset);
    require(pixel >= -kPixelLimit && pixel <= kPixelLimit);

    const qlonglong time = pixelToTime(x, zoom, offset);
    require(time >= 0 && time <= kTimeLimitMs);

    const double derivedRate = peaksPerSecondFor(peaks.size(), durationMs);
    require(derivedRate > 0.0 && derivedRate < 1e300);

    checkColumns(foldColumns(peaks, rate, zoom, offset, width, height), width, height);
    checkColumns(foldColumns(peaks, derivedRate, zoom, offset, width, height), width, height);
    checkColumns(traceColumns(samples, channel, zoom, offset, width, height), width, height, false);
    checkColumns(waveColumns(peaks, rate, samples, channel, zoom, offset, width, height), width, height, false);
    return 0;
}
