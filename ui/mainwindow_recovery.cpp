// Crash recovery: while work is unsaved it is journalled, and a journal left
// by a program that ended without saving is offered back on the next start.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/auditrecord.h"
#include "ui/journalkeeper.h"
#include "ui/metadatapane.h"
#include "ui/recoveryjournal.h"
#include "ui/unsavedwork.h"
#include "widgets/transcriptiongrid.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

void MainWindow::setupJournal()
{
    journal = new JournalKeeper(journalDirectory(), this);
    journal->setSnapshot([this]() { return journalSnapshot(); });
    connect(journal, &JournalKeeper::writeFailed, this, [this](const QString &reason) {
        logEvent(QStringLiteral("ERROR: The recovery journal could not be written: ") + reason);
    });
}

void MainWindow::noteWorkChanged()
{
    if (!journal)
        return;
    if (unsavedWork(false).any())
        journal->markChanged();
    else
        journal->discard();
}

RecoveryJournal MainWindow::journalSnapshot() const
{
    RecoveryJournal snapshot;
    if (engine && !engine->samples().isEmpty()) {
        const QFileInfo source(engine->filePath());
        snapshot.recordingPath = source.absoluteFilePath();
        snapshot.recordingSize = source.size();
        snapshot.recordingModified = source.lastModified().toUTC();
        snapshot.edits = journalEdits;
    }
    if (grid)
        snapshot.rows = grid->getMarkers();
    snapshot.details = caseDetails();
    if (timeSourceCombo) {
        snapshot.timeSourceIndex = qMax(0, timeSourceCombo->currentIndex());
        snapshot.timeSourceText = timeSourceCombo->currentText();
    }
    snapshot.typedStartTimeMs = typedStartTimeMs;
    snapshot.auditNotes = unreportedNotes;
    return snapshot;
}

void MainWindow::offerRecovery()
{
    if (!engine || engine->isLoading())
        return;
    for (const OrphanJournal &orphan : findOrphanJournals(journalDirectory())) {
        if (!orphan.decoded.ok) {
            // Set aside by the search, so this is said once.
            logEvent(QStringLiteral("ERROR: A recovery journal could not be read and was set aside as %1: %2")
                         .arg(orphan.path, orphan.decoded.error));
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Recovery"),
                            QStringLiteral("A recovery journal could not be read and was set aside."),
                            QMessageBox::Ok, this);
            box.setInformativeText(orphan.path + QStringLiteral(": ") + orphan.decoded.error);
            box.exec();
            continue;
        }
        const RecoveryJournal &found = orphan.decoded.journal;
        QMessageBox box(QMessageBox::Question, QStringLiteral("Recover Unsaved Work"), recoveryQuestion(found),
                        QMessageBox::NoButton, this);
        box.setObjectName(QStringLiteral("recoveryBox"));
        QPushButton *recoverButton = box.addButton(QStringLiteral("Recover"), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Discard);
        box.setDefaultButton(recoverButton);
        box.exec();
        const bool chosen = box.clickedButton() == recoverButton;
        logEvent(QStringLiteral("User Action: Recovery journal %1: %2")
                     .arg(orphan.path, chosen ? QStringLiteral("Recover") : QStringLiteral("Discard")));
        if (chosen)
            recover(found);
        removeJournal(orphan.path);
        if (chosen)
            return; // one piece of work at a time; the others wait for the next start
    }
}

void MainWindow::recover(const RecoveryJournal &found)
{
    const bool replay = !found.recordingPath.isEmpty() && checkRecording(found) == RecordingCheck::Unchanged
        && engine->loadFile(found.recordingPath);
    if (replay) {
        appendAudit(QStringLiteral("Opened: ") + found.recordingPath);
        // The source is never written, so the same edits on it give the same
        // audio and the same undo and redo steps, which the audit log names
        // again when they are taken. The transcript rows come from the journal.
        for (const JournalEdit &edit : found.edits) {
            if (edit.op == JournalEdit::Op::Undo)
                auditedHistory.undo();
            else if (edit.op == JournalEdit::Op::Redo)
                auditedHistory.redo();
            else if (edit.startMs < edit.endMs) { // as the engine, which takes no step for an empty region
                AuditedStep step;
                step.line = editAuditLine(edit);
                auditedHistory.recordEdit(step);
            }
            switch (edit.op) {
            case JournalEdit::Op::Silence:
                engine->applySilence(edit.startMs, edit.endMs, edit.channel);
                break;
            case JournalEdit::Op::Tone:
                engine->applyTone(edit.parameter, edit.startMs, edit.endMs, edit.channel);
                break;
            case JournalEdit::Op::Normalize:
                engine->applyNormalize(edit.startMs, edit.endMs, edit.channel, edit.parameter);
                break;
            case JournalEdit::Op::TrimPeaks:
                engine->applyTrimPeaks(edit.parameter, edit.startMs, edit.endMs, edit.channel);
                break;
            case JournalEdit::Op::Undo:
                engine->undo();
                break;
            case JournalEdit::Op::Redo:
                engine->redo();
                break;
            }
        }
        journalEdits = found.edits;
        audioChanged = !found.edits.isEmpty();
        if (found.typedStartTimeMs >= 0 && engine->startTimeOfDay() < 1)
            useStartTime(found.typedStartTimeMs);
        if (timeSourceCombo && found.timeSourceIndex < timeSourceCombo->count())
            timeSourceCombo->setCurrentIndex(found.timeSourceIndex);
    }
    if (grid)
        grid->setMarkers(found.rows);
    const std::pair<QLineEdit *, QString> details[] = {
        {refEdit, found.details.reference}, {locEdit, found.details.location},
        {opEdit, found.details.operation},  {oicEdit, found.details.oic},
        {transcriberEdit, found.details.transcriber}, {translatorEdit, found.details.translator}};
    for (const auto &[edit, text] : details) {
        if (edit)
            edit->setText(text);
    }
    for (const QString &note : found.auditNotes)
        appendNote(note);
    // Recovered work is in no file yet.
    transcriptChanged = !found.rows.isEmpty();
    caseDetailsChanged = true;
    appendAudit(QStringLiteral("Recovered: ") + found.recordingPath);
    logEvent(QStringLiteral("Action: Recovered %1 rows and the case details%2")
                 .arg(found.rows.size())
                 .arg(replay ? QStringLiteral(", replayed %1 edits").arg(found.edits.size()) : QString()));
    if (journal) {
        noteWorkChanged();
        journal->flush();
    }
    if (!replay && !found.edits.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Recovery"),
                        QStringLiteral("The transcript and case details were recovered, but the audio edits could "
                                       "not be replayed: the recording is missing or has changed."),
                        QMessageBox::Ok, this);
        box.setInformativeText(found.recordingPath);
        box.exec();
    }
}
