#include "ui/auditrecord.h"

#include <QStringList>

namespace {

const QString kOpened = QStringLiteral("Opened: ");

} // namespace

QString auditViewLine(const AuditEntry &entry)
{
    return entry.note ? QStringLiteral("Note: ") + entry.text : entry.text;
}

QString auditReportText(const QList<AuditEntry> &record)
{
    qsizetype from = 0;
    for (qsizetype i = record.size() - 1; i >= 0; --i) {
        if (!record[i].note && record[i].text.startsWith(kOpened)) {
            from = i;
            break;
        }
    }
    QStringList lines;
    for (qsizetype i = from; i < record.size(); ++i) {
        const AuditEntry &entry = record[i];
        lines << (entry.note ? QStringLiteral("Transcriber's note: ") + entry.text : entry.text);
    }
    return lines.join(QLatin1Char('\n'));
}

QString editAuditLine(const JournalEdit &edit)
{
    const QString region = QStringLiteral("%1-%2ms").arg(edit.startMs).arg(edit.endMs);
    switch (edit.op) {
    case JournalEdit::Op::Silence:
        return QStringLiteral("Silenced: ") + region;
    case JournalEdit::Op::Tone:
        return QStringLiteral("Applied 1kHz Tone: ") + region;
    case JournalEdit::Op::Normalize:
        return QStringLiteral("Normalized: ") + region;
    case JournalEdit::Op::TrimPeaks:
        return QStringLiteral("Trimmed Peaks: ") + region;
    case JournalEdit::Op::Undo:
    case JournalEdit::Op::Redo:
        break;
    }
    return QString();
}
