#include "ui/unsavedwork.h"

QStringList UnsavedWork::lines() const
{
    QStringList out;
    if (transcriptRows > 0)
        out << (transcriptRows == 1 ? QStringLiteral("1 transcript row not exported")
                                    : QStringLiteral("%1 transcript rows not exported").arg(transcriptRows));
    if (caseDetails)
        out << QStringLiteral("case details not saved");
    if (audioEdits)
        out << QStringLiteral("audio edits not saved");
    if (auditNotes > 0)
        out << (auditNotes == 1 ? QStringLiteral("1 audit note not in a PDF report")
                                : QStringLiteral("%1 audit notes not in a PDF report").arg(auditNotes));
    return out;
}
