#pragma once

#include <QList>
#include <QString>

#include "ui/recoveryjournal.h"

// One line of the audit log. The program's lines are the record of what was
// done and are never changed; a note is what the transcriber added, and is
// shown and reported as theirs.
struct AuditEntry
{
    QString text;
    bool note = false;
};

// The line as the audit pane shows it: a note reads "Note: <text>".
QString auditViewLine(const AuditEntry &entry);

// The audit section of a report on the recording opened last: the lines from
// the program's last "Opened: " line on (all of them when there is none),
// notes marked "Transcriber's note: ".
QString auditReportText(const QList<AuditEntry> &record);

// The audit line of an audio edit, "Silenced: 1000-1500ms" and the like;
// empty for an undo or a redo, which write the line of the edit they move.
QString editAuditLine(const JournalEdit &edit);
