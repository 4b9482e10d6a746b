// Arbitrary bytes through the cue reader: chunk sizes and counts from the
// file must never read outside it, and every marker must be well-formed.
#include "audio/cuereader.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr qsizetype kCuePointSize = 24;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const QList<Marker> markers = readCueMarkers(bytes);

    require(markers.size() <= qsizetype(size) / kCuePointSize);
    qlonglong previous = 0;
    for (const Marker &m : markers) {
        require(m.channel == -1);
        require(m.start >= previous && m.end >= m.start);
        previous = m.start;
    }
    return 0;
}
