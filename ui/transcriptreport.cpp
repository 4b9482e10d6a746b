#include "ui/transcriptreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include "audio/filebytes.h"
#include "widgets/timetext.h"

#include <cerrno>
#include <cstring>

namespace {

const QString kHead = QStringLiteral(
    "<html><head><style>body{font-family:sans-serif;}table{border-collapse:collapse; width:100%; "
    "border: 1px solid black;}th{background-color:#eee; border:1px solid black; padding:8px; "
    "text-align:left;}td{border:1px solid black; padding:8px;}</style></head><body>");

// Escaped text for a table cell or paragraph, its line breaks kept.
QString cellText(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br/>"));
    html.replace(QLatin1Char('\r'), QStringLiteral("<br/>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
    return html;
}

void appendDetail(QString &html, const QString &name, const std::optional<QString> &text)
{
    if (!text)
        return;
    html += QStringLiteral("<tr><td><b>") + name + QStringLiteral("</b></td><td>") + cellText(*text)
        + QStringLiteral("</td></tr>");
}

// Qt's text layout ignores the style sheet's table width, and its collapsed
// borders make a long transcript several times slower to lay out and draw
// (and cut the last row of a page short). Full-width tables with separate,
// unspaced borders look as the style sheet means.
void shapeTables(QTextDocument &document)
{
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setBorderCollapse(false);
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
        // A time split over two lines misreads: the first column never wraps.
        for (int row = 0; row < table->rows(); ++row) {
            QTextCursor cursor = table->cellAt(row, 0).firstCursorPosition();
            QTextBlockFormat block = cursor.blockFormat();
            block.setNonBreakableLines(true);
            cursor.setBlockFormat(block);
        }
    }
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// The printer does not say why its file came out short; a disk with
// (almost) nothing left beside the draft is the usual reason.
bool printFailure(QString *error, const QString &folder, const QString &message)
{
    constexpr qint64 kNearlyFull = 64 * 1024;
    if (QStorageInfo(folder).bytesAvailable() < kNearlyFull)
        return fail(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
    return fail(error, message);
}

// What a complete PDF starts and ends with; a file cut short lacks the end.
bool looksComplete(const QByteArray &pdf)
{
    constexpr qsizetype kTailSearch = 64;
    return pdf.startsWith("%PDF") && pdf.right(kTailSearch).contains("%%EOF");
}

} // namespace

QString buildReportHtml(const TranscriptReport &report)
{
    QString html = kHead;
    html += QStringLiteral("<h1>Transcript Report</h1><h3>Case Details</h3><table>");
    appendDetail(html, QStringLiteral("Reference"), report.reference);
    appendDetail(html, QStringLiteral("Location"), report.location);
    appendDetail(html, QStringLiteral("Operation"), report.operation);
    appendDetail(html, QStringLiteral("OIC"), report.oic);
    appendDetail(html, QStringLiteral("Transcriber"), report.transcriber);
    appendDetail(html, QStringLiteral("Translator"), report.translator);
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p><b>Filename:</b> ") + cellText(report.fileName) + QStringLiteral("</p>");
    html += QStringLiteral("<p><b>Date:</b> ") + cellText(report.date.toString(Qt::TextDate))
        + QStringLiteral("</p>");

    if (report.rows) {
        html += QStringLiteral("<h2>Transcript</h2><table><tr><th width='20%'>Time</th>"
                               "<th width='20%'>Speaker</th><th>Content</th></tr>");
        for (const Marker &m : *report.rows) {
            html += QStringLiteral("<tr><td>") + formatTime(m.start) + QStringLiteral("</td><td>")
                + cellText(m.label) + QStringLiteral("</td><td>") + cellText(m.note)
                + QStringLiteral("</td></tr>");
        }
        html += QStringLiteral("</table>");
    }
    // Kept line for line, but wrapped: a long path would otherwise run off
    // the page and be cut from the report.
    if (report.auditLog) {
        html += QStringLiteral("<h3>Audit Log</h3><pre style='white-space:pre-wrap'>")
            + report.auditLog->toHtmlEscaped() + QStringLiteral("</pre>");
    }
    html += QStringLiteral("</body></html>");
    return html;
}

bool writePdfReport(const QString &html, const QString &path, QString *error)
{
    const QFileInfo target(path);
    if (!target.dir().exists())
        return fail(error, QStringLiteral("No such folder: ") + target.absolutePath());

    // Printed beside the target so that it lands on the same disk.
    QTemporaryFile draft(target.absolutePath() + QStringLiteral("/.report-XXXXXX.pdf"));
    if (!draft.open())
        return fail(error, QStringLiteral("Cannot create a file in ") + target.absolutePath());
    draft.close();

    QTextDocument document;
    document.setHtml(html);
    shapeTables(document);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(draft.fileName());
    printer.setPageSize(QPageSize(QPageSize::A4));
    document.print(&printer);
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return printFailure(error, target.absolutePath(), QStringLiteral("Printing the report failed."));

    QFile printed(draft.fileName());
    if (!printed.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read the printed report back."));
    const QByteArray pdf = printed.readAll();
    printed.close();
    if (!looksComplete(pdf))
        return printFailure(error, target.absolutePath(), QStringLiteral("The printed report is incomplete."));

    // QSaveFile::commit() does not notice a failed flush of its buffer, so
    // the flush is checked first.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(pdf) != pdf.size() || !out.flush() || !out.commit()) {
        const QString reason = writeFailureReason(out, errno);
        out.cancelWriting();
        return fail(error, reason);
    }
    return true;
}
