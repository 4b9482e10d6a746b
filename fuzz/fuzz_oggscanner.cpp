// Arbitrary bytes through the Ogg scanner: page and packet sizes from the file
// must never read outside it or loop, and the result must stay usable.
#include "audio/oggscanner.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr qlonglong kDayMs = 24LL * 60 * 60 * 1000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const ScanResult result = scanOggMetadata(bytes, QStringLiteral("fuzz.ogg"));

    require(result.hasReport);
    require(result.report.startsWith(QStringLiteral("=== General ===\nFilename: fuzz.ogg\nSize: ")
                                     + QString::number(size) + QStringLiteral(" bytes\nContainer: Ogg\n")));
    // Each comment line comes from at least as many bytes of one packet, and
    // the packet is read once.
    require(result.report.size() <= 400 + qsizetype(size));
    if (result.start == ScanResult::StartTime::Set)
        require(result.startTimeOfDayMs >= 0 && result.startTimeOfDayMs < kDayMs);
    else
        require(result.startTimeOfDayMs == 0);
    return 0;
}
