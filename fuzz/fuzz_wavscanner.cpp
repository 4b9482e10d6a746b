// Arbitrary bytes through the WAV scanner: chunk sizes from the file must
// never read outside it or stall the walk, and the result must stay usable.
#include "audio/wavscanner.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr qlonglong kDayMs = 24LL * 60 * 60 * 1000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const ScanResult result = scanWavMetadata(bytes, QStringLiteral("fuzz.wav"));

    require(result.hasReport == (size >= 12));
    if (!result.hasReport) {
        require(result.report.isEmpty() && result.start == ScanResult::StartTime::Keep);
        return 0;
    }
    require(result.report.startsWith(QStringLiteral("=== General ===\nFilename: fuzz.wav\nSize: ")
                                     + QString::number(size) + QStringLiteral(" bytes\nContainer: Wave\n\n")));
    // Every section stands for at least one chunk header of the file.
    require(result.report.size() <= 200 + 4 * qsizetype(size));
    if (result.start == ScanResult::StartTime::Set)
        require(result.startTimeOfDayMs >= 0 && result.startTimeOfDayMs < kDayMs);
    else
        require(result.startTimeOfDayMs == 0);
    return 0;
}
