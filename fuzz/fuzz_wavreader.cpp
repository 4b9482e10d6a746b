// Arbitrary bytes as a WAV file: the chunk walk, the tag scan and every
// sample conversion must stay inside the buffer, and a successful read must
// leave whole 16-bit frames.
#include "audio/wavreader.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const WavReadResult result = readWav(bytes);

    if (result.status == WavReadResult::Status::Ok) {
        require(result.bitsPerSample == 16);
        require(result.channels > 0 && result.sampleRate > 0);
        require(result.samples.size() % (2 * qsizetype(result.channels)) == 0);
        require(result.samples.size() <= 2 * bytes.size()); // 8-bit samples double, nothing grows more
        require(wavErrorText(result.status).isEmpty());
    } else {
        require(result.samples.isEmpty());
        require(result.status == WavReadResult::Status::NeedsDecoder || !wavErrorText(result.status).isEmpty());
    }
    for (auto it = result.infoTags.cbegin(); it != result.infoTags.cend(); ++it) {
        require(it.key() == QLatin1String("Title") || it.key() == QLatin1String("Engineer")
                || it.key() == QLatin1String("Comment"));
        require(!it.value().trimmed().isEmpty() && !it.value().contains(QChar(0)));
    }
    return 0;
}
