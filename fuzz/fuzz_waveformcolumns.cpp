// Arbitrary views and peak lists through the waveform arithmetic: nothing may
// overflow, and every result must stay where the widget can use it.
#include "widgets/waveformcolumns.h"
#include "fuzz/fuzzsupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Any bit pattern, so NaN, infinities and subnormals come up too.
double anyDouble(FuzzedDataProvider &input)
{
    const auto bits = input.ConsumeIntegral<std::uint64_t>();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void checkColumns(const QList<WaveColumn> &columns, int width, int height)
{
    require(columns.size() <= std::max(width, 0));
    int previous = -1;
    const int mid = height / 2;
    for (const WaveColumn &c : columns) {
        require(c.x > previous && c.x < width);
        previous = c.x;
        if (height >= 0) {
            require(c.top >= 0 && c.top <= mid);
            require(c.bottom >= mid && c.bottom <= std::max(2 * mid, mid + 1));
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

    QList<double> peaks;
    while (input.remaining_bytes() >= sizeof(double))
        peaks.append(anyDouble(input));

    const int pixel = timeToPixel(ms, zoom, offset);
    require(pixel >= -kPixelLimit && pixel <= kPixelLimit);

    const qlonglong time = pixelToTime(x, zoom, offset);
    require(time >= 0 && time <= kTimeLimitMs);

    const double derivedRate = peaksPerSecondFor(peaks.size(), durationMs);
    require(derivedRate > 0.0 && derivedRate < 1e300);

    checkColumns(foldColumns(peaks, rate, zoom, offset, width, height), width, height);
    checkColumns(foldColumns(peaks, derivedRate, zoom, offset, width, height), width, height);
    return 0;
}
