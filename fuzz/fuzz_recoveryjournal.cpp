// Arbitrary bytes through the recovery journal reader: it must not fault or
// stall, whatever it accepts must be within the ranges it promises, and our
// own writer must give back exactly what it read.
#include "fuzz/fuzzsupport.h"
#include "ui/recoveryjournal.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const JournalDecode read = decodeJournal(QByteArrayView(data, qsizetype(size)));
    require(read.ok == read.error.isEmpty());
    if (!read.ok)
        return 0;
    const RecoveryJournal &journal = read.journal;
    require(journal.version == RecoveryJournal::kVersion && journal.recordingSize >= 0);
    for (const JournalEdit &edit : journal.edits)
        require(edit.startMs >= 0 && edit.endMs >= 0 && edit.channel >= -1 && edit.channel <= 1);
    for (const Marker &row : journal.rows)
        require(row.channel >= -1 && row.channel <= 1);

    const JournalDecode again = decodeJournal(encodeJournal(journal));
    require(again.ok && again.journal == journal);
    recoveryQuestion(journal);
    return 0;
}
