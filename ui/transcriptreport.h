#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

#include "widgets/marker.h"

// What the transcript report is made of. A part missing from the window
// leaves its piece out: a case-detail row, the transcript, the audit log.
struct TranscriptReport
{
    std::optional<QString> reference;
    std::optional<QString> location;
    std::optional<QString> operation;
    std::optional<QString> oic;
    std::optional<QString> transcriber;
    std::optional<QString> translator;
    QString fileName;
    QDateTime date; // shown in Qt::TextDate form
    std::optional<QList<Marker>> rows;
    std::optional<QString> auditLog;
};

// The report as HTML. Every text is escaped, so what was typed is what the
// report shows, markup characters included; line breaks in table cells
// become <br/>, and the audit log keeps its lines inside <pre>, wrapped
// where a line is wider than the page.
QString buildReportHtml(const TranscriptReport &report);

// Lays the HTML out and prints it as an A4 PDF to `path`. The PDF is made
// beside the target and checked (printer state, PDF header, end marker)
// before it replaces the target, so a failure leaves any earlier file as it
// was. On failure `error`, when given, says what went wrong.
bool writePdfReport(const QString &html, const QString &path, QString *error = nullptr);
