// The transcript's own commands: bookmarks, CSV export and import, the PDF
// report, and markers found in the recording.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/transcriptreport.h"
#include "widgets/timetext.h"
#include "widgets/transcriptiongrid.h"

#include <QDateTime>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>

void MainWindow::connectTranscript()
{
    const auto record = [this](const QString &what, const QList<Marker> &rows) {
        for (const Marker &row : rows)
            appendAudit(QStringLiteral("%1: %2 @%3").arg(what, row.label, formatTime(row.start)));
    };
    connect(grid, &TranscriptionGrid::rowsDeleted, this,
            [record](const QList<Marker> &rows) { record(QStringLiteral("Row Deleted"), rows); });
    connect(grid, &TranscriptionGrid::rowsRestored, this,
            [record](const QList<Marker> &rows) { record(QStringLiteral("Row Restored"), rows); });
}

void MainWindow::onBookmarkClicked()
{
    if (!engine || !grid || engine->isLoading())
        return;
    const qlonglong pos = engine->position();
    const bool selected = selEnd > selStart;
    const qlonglong start = selected ? selStart : pos;
    const qlonglong end = selected ? selEnd : pos;

    QString title = QStringLiteral("Add Bookmark");
    QString prompt = QStringLiteral("Label:");
    QString channelLabel;
    if (selChannel == 0 || selChannel == 1) {
        channelLabel = selChannel == 0 ? QStringLiteral("Ch1") : QStringLiteral("Ch2");
        title = QStringLiteral("Add Bookmark (%1)").arg(channelLabel);
        prompt = QStringLiteral("Note:");
    }
    bool accepted = false;
    const QString text = QInputDialog::getText(this, title, prompt, QLineEdit::Normal, QString(), &accepted);
    if (!accepted)
        return;
    const QString label = channelLabel.isEmpty() ? text : channelLabel;
    const QString note = channelLabel.isEmpty() ? QString() : text;
    if (label.isEmpty() && note.isEmpty())
        return;
    grid->addMarker(start, end, label, note, selChannel);
    appendAudit(QStringLiteral("Bookmark Added: %1 @%2").arg(label, formatTime(pos)));
}

void MainWindow::onQuickBookmark()
{
    if (!engine || !grid || engine->isLoading() || engine->samples().isEmpty())
        return;
    const qlonglong pos = engine->position();
    const QString label = QStringLiteral("Bookmark");
    grid->addMarker(pos, pos, label, QString(), -1);
    grid->selectRow(grid->rowCount() - 1);
    appendAudit(QStringLiteral("Bookmark Added: %1 @%2").arg(label, formatTime(pos)));
}

void MainWindow::onMarkersReady(QList<Marker> markers)
{
    if (!grid)
        return;
    grid->setMarkers(markers);
    // Rows read from the recording's own cue list are in that file already.
    markTranscriptSaved();
}

void MainWindow::onExportTranscriptClicked()
{
    exportTranscript();
}

bool MainWindow::exportTranscript()
{
    if (!grid)
        return false;
    const QString path = askSavePath(QStringLiteral("transcript"), QStringLiteral("Export Transcript"),
                                     QStringLiteral("CSV Files (*.csv)"), QStringLiteral(".csv"));
    if (path.isEmpty())
        return false;
    QString error;
    if (!grid->exportCsv(path, &error)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Export Error"), QStringLiteral("Failed to write CSV file."),
                        QMessageBox::Ok, this);
        box.setInformativeText(path + QStringLiteral(": ") + error);
        box.exec();
        return false;
    }
    appendAudit(QStringLiteral("Exported CSV: ") + path);
    markTranscriptSaved();
    return true;
}

void MainWindow::onImportCsvClicked()
{
    if (!grid)
        return;
    const QString path = askOpenPath(QStringLiteral("import"), QStringLiteral("Import CSV Transcript"),
                                     QStringLiteral("CSV Files (*.csv)"));
    if (path.isEmpty() || !confirmUnsavedWork(QStringLiteral("Importing a transcript"), true))
        return;

    const auto show = [this](QMessageBox::Icon icon, const QString &title, const QString &text,
                             const QString &details) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, this);
        box.setInformativeText(details);
        box.exec();
    };
    const QString name = QFileInfo(path).fileName();
    const CsvImport imported = grid->importCsv(path);
    if (!imported.readable) {
        show(QMessageBox::Warning, QStringLiteral("Import Error"), QStringLiteral("Failed to parse CSV file."),
             name + QStringLiteral(": ") + imported.error);
        return;
    }
    // The grid kept its rows; say why nothing came, when the file had text.
    if (imported.read.markers.isEmpty()) {
        show(QMessageBox::Warning, QStringLiteral("Import Error"),
             QStringLiteral("No transcript rows found in %1.").arg(name),
             imported.read.lost().isEmpty() ? QString() : importSummary(imported.read, std::nullopt));
        return;
    }
    const std::optional<qlonglong> recordingEnd =
        engine && engine->duration() > 0 ? std::optional<qlonglong>(engine->duration()) : std::nullopt;
    const QString summary = importSummary(imported.read, recordingEnd);
    appendAudit(QStringLiteral("Imported CSV: ") + path + QStringLiteral(" - ") + summary);
    markTranscriptSaved();
    show(QMessageBox::Information, QStringLiteral("Import"), QStringLiteral("CSV Imported Successfully."), summary);
}

void MainWindow::onExportPdfClicked()
{
    const QString path = askSavePath(QStringLiteral("report"), QStringLiteral("Export Report"),
                                     QStringLiteral("PDF Files (*.pdf)"), QStringLiteral(".pdf"));
    if (path.isEmpty())
        return;
    const auto text = [](const QLineEdit *edit) {
        return edit ? std::optional<QString>(edit->text()) : std::nullopt;
    };
    TranscriptReport report;
    report.reference = text(refEdit);
    report.location = text(locEdit);
    report.operation = text(opEdit);
    report.oic = text(oicEdit);
    report.transcriber = text(transcriberEdit);
    report.translator = text(translatorEdit);
    report.fileName = currentFile;
    report.date = QDateTime::currentDateTime();
    if (grid)
        report.rows = grid->getMarkers();
    // The report is about one recording; the pane keeps the whole session.
    if (auditLogView)
        report.auditLog = auditReportText(auditRecord);

    // Only a report that was really written is recorded as exported.
    QString error;
    if (!writePdfReport(buildReportHtml(report), path, &error)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Export Error"), QStringLiteral("Failed to write PDF report."),
                        QMessageBox::Ok, this);
        box.setInformativeText(path + QStringLiteral(": ") + error);
        box.exec();
        return;
    }
    appendAudit(QStringLiteral("Exported PDF: ") + path);
    caseDetailsChanged = false;
    unreportedNotes.clear();
    noteWorkChanged();
}
