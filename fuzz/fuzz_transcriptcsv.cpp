// Arbitrary bytes through the transcript CSV reader: it must not fault or
// stall, every row must carry a valid channel, and whatever it reads must
// survive our own export and import unchanged.
#include "widgets/transcriptcsv.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const TranscriptCsv read = decodeTranscriptCsv(bytes);

    // Every row and every skipped record stands for at least one byte.
    require(read.markers.size() + read.skipped.size() <= qsizetype(size));
    for (const Marker &m : read.markers)
        require(m.channel >= -1 && m.channel <= 1);
    qsizetype lastLine = 0;
    for (const TranscriptCsv::Skipped &s : read.skipped) {
        require(s.line > lastLine);
        lastLine = s.line;
    }

    const TranscriptCsv again = decodeTranscriptCsv(encodeTranscriptCsv(read.markers));
    require(again.markers == read.markers);
    require(again.skipped.size() == 1 && again.skipped.first().line == 1
            && again.skipped.first().reason == TranscriptCsv::Skip::Header);
    return 0;
}
