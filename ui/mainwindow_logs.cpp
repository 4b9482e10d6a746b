// The event log (technical trace, to the millisecond) and the audit log
// (what was done to the recording: the program's lines, which no one can
// change, and the transcriber's notes).

#include "ui/mainwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QSysInfo>
#include <QTextCursor>
#include <QTextEdit>

namespace {

constexpr auto kBannerVersion = "5.60.1";

} // namespace

void MainWindow::logEvent(const QString &text)
{
    if (!eventLogView)
        return;
    eventLogView->append(QDateTime::currentDateTime().toString(QStringLiteral("[HH:mm:ss.zzz] ")) + text);
    QScrollBar *bar = eventLogView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void MainWindow::logAudit(const QString &text)
{
    appendAudit(QDateTime::currentDateTime().toString(QStringLiteral("[HH:mm] ")) + text);
}

void MainWindow::appendAudit(const QString &text)
{
    auditRecord.append(AuditEntry{text, false});
    showAuditEntry(auditRecord.last());
}

void MainWindow::onAddAuditNote()
{
    if (locked || !auditNoteEdit)
        return;
    const QString text = auditNoteEdit->text().trimmed();
    if (text.isEmpty())
        return;
    auditNoteEdit->clear();
    appendNote(text);
}

void MainWindow::appendNote(const QString &text)
{
    auditRecord.append(AuditEntry{text, true});
    showAuditEntry(auditRecord.last());
    unreportedNotes.append(text);
    noteWorkChanged();
}

void MainWindow::showAuditEntry(const AuditEntry &entry)
{
    if (!auditLogView)
        return;
    // Inserted as plain text: a path or a note holding markup is shown as
    // typed. The reader of the audit log keeps their place.
    QScrollBar *bar = auditLogView->verticalScrollBar();
    const int keep = bar->value();
    QTextCursor cursor(auditLogView->document());
    cursor.movePosition(QTextCursor::End);
    if (auditRecord.size() > 1)
        cursor.insertBlock();
    cursor.insertText(auditViewLine(entry));
    bar->setValue(keep);
}

void MainWindow::onErrorMessage(const QString &msg, const QString &reason)
{
    // Logged first, so the error is on record even while the box is open.
    logEvent(QStringLiteral("ERROR: ") + msg);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), msg, QMessageBox::Ok, this);
    // A failed open names the file it could not open, and why when known.
    QStringList details;
    if (!openingPath.isEmpty())
        details << openingPath;
    if (!reason.isEmpty())
        details << reason;
    box.setInformativeText(details.join(u'\n'));
    box.exec();
}

void MainWindow::onClearDebugLog()
{
    if (eventLogView)
        eventLogView->clear();
}

void MainWindow::onCopyDebugClicked()
{
    copyViewText(eventLogView);
}

void MainWindow::onCopyAuditClicked()
{
    copyViewText(auditLogView);
}

void MainWindow::copyViewText(const QTextEdit *view)
{
    if (view)
        QApplication::clipboard()->setText(view->toPlainText(), QClipboard::Clipboard);
}

void MainWindow::writeBanner()
{
    const QString rule(42, QLatin1Char('='));
    logEvent(rule);
    logEvent(QStringLiteral("Orlenta LE Started (v%1)").arg(QString::fromLatin1(kBannerVersion)));
    logEvent(QStringLiteral("OS: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion()));
    logEvent(QStringLiteral("Qt Version: %1").arg(QString::fromLatin1(qVersion())));
    logEvent(rule);
}
