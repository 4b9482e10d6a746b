// Edit commands on the selection: redaction (silence, 1 kHz tone), level
// repair (normalise, trim peaks), undo and redo.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/auditrecord.h"
#include "ui/recoveryjournal.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

namespace {

constexpr double kToneHz = 1000.0;
constexpr double kNormalizeTargetDb = -1.0;
constexpr double kTrimRatio = 0.707;

// Marks a redaction row in the transcript, so that an undo takes out that
// very row whatever has been typed into it since.
constexpr int kRowIdRole = Qt::UserRole + 1;

// Undo and redo keys belong to a text field while one is being typed in
// (a grid cell's editor is a line edit too).
bool typingInAField()
{
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus))
        return true;
    const auto *text = qobject_cast<QTextEdit *>(focus);
    return text && !text->isReadOnly();
}

} // namespace

void MainWindow::connectEditing()
{
    connect(cropButton, &QPushButton::clicked, this, &MainWindow::onTrimAudio);
    connect(silenceButton, &QPushButton::clicked, this, &MainWindow::onSilenceAudio);
    connect(normButton, &QPushButton::clicked, this, &MainWindow::onNormalizeClicked);
    connect(toneButton, &QPushButton::clicked, this, &MainWindow::onTone1kClicked);

    const auto shortcut = [this](const QKeySequence &keys, void (MainWindow::*slot)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, slot]() {
            if (!typingInAField())
                (this->*slot)();
        });
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), &MainWindow::onUndo);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), &MainWindow::onRedo);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &MainWindow::onRedo);

    for (WaveformDisplay *wave : {waveL, waveR}) {
        wave->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(wave, &QWidget::customContextMenuRequested, this,
                [this, wave](const QPoint &at) { showEditMenu(wave, at); });
    }
}

// Without a recording there is nothing to edit, and nothing to record as edited.
bool MainWindow::editReady() const
{
    return engine && !engine->isLoading() && selEnd > selStart && !engine->samples().isEmpty();
}

void MainWindow::showEditMenu(QWidget *view, const QPoint &at)
{
    if (!engine)
        return;
    QMenu menu(this);
    const bool canEdit = editReady();
    const auto add = [&](const QString &text, bool enabled, void (MainWindow::*slot)()) {
        QAction *action = menu.addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    add(QStringLiteral("Silence"), canEdit, &MainWindow::onSilenceAudio);
    add(QStringLiteral("1kHz Tone"), canEdit, &MainWindow::onTone1kClicked);
    add(QStringLiteral("Normalize"), canEdit, &MainWindow::onNormalizeClicked);
    add(QStringLiteral("Trim Peaks"), canEdit, &MainWindow::onTrimPeaksClicked);
    menu.addSeparator();
    add(QStringLiteral("Undo"), engine->canUndo(), &MainWindow::onUndo);
    add(QStringLiteral("Redo"), engine->canRedo(), &MainWindow::onRedo);
    menu.exec(view->mapToGlobal(at));
}

void MainWindow::onTrimAudio()
{
    if (!engine)
        return;
    if (selEnd > selStart)
        QMessageBox::information(this, QStringLiteral("Crop"),
                                 QStringLiteral("Crop functionality requires resizing support (Not in LE version)."));
    else
        QMessageBox::information(this, QStringLiteral("Selection Needed"),
                                 QStringLiteral("Please select a region to crop."));
}

void MainWindow::onSilenceAudio()
{
    if (!editReady())
        return;
    const JournalEdit edit{JournalEdit::Op::Silence, selStart, selEnd, selChannel, 0.0};
    engine->applySilence(selStart, selEnd, selChannel);
    noteAudioEdited(edit);
    recordEdit(edit, QStringLiteral("Silence Applied"));
}

void MainWindow::onTone1kClicked()
{
    if (!editReady())
        return;
    const JournalEdit edit{JournalEdit::Op::Tone, selStart, selEnd, selChannel, kToneHz};
    engine->applyTone(kToneHz, selStart, selEnd, selChannel);
    noteAudioEdited(edit);
    recordEdit(edit, QStringLiteral("Tone 1kHz Applied"));
}

void MainWindow::onNormalizeClicked()
{
    if (!editReady())
        return;
    const JournalEdit edit{JournalEdit::Op::Normalize, selStart, selEnd, selChannel, kNormalizeTargetDb};
    engine->applyNormalize(selStart, selEnd, selChannel, kNormalizeTargetDb);
    noteAudioEdited(edit);
    recordEdit(edit, QString());
}

void MainWindow::onTrimPeaksClicked()
{
    if (!editReady())
        return;
    const JournalEdit edit{JournalEdit::Op::TrimPeaks, selStart, selEnd, selChannel, kTrimRatio};
    engine->applyTrimPeaks(kTrimRatio, selStart, selEnd, selChannel);
    noteAudioEdited(edit);
    recordEdit(edit, QString());
}

void MainWindow::recordEdit(const JournalEdit &edit, const QString &redactionNote)
{
    AuditedStep step;
    step.line = editAuditLine(edit);
    if (grid && !redactionNote.isEmpty()) {
        grid->addMarker(edit.startMs, edit.endMs, QStringLiteral("Redaction"), redactionNote, edit.channel);
        step.rowId = ++lastRowId;
        grid->item(grid->rowCount() - 1, 0)->setData(kRowIdRole, step.rowId);
    }
    auditedHistory.recordEdit(step);
    appendAudit(step.line);
}

void MainWindow::onUndo()
{
    if (!engine || engine->isLoading() || !engine->canUndo())
        return;
    engine->undo();
    noteAudioEdited({JournalEdit::Op::Undo, 0, 0, -1, 0.0});
    // The load's own step changes nothing and was never an edit.
    AuditedStep *step = auditedHistory.undo();
    if (!step || step->line.isEmpty())
        return;
    takeRedactionRow(*step);
    appendAudit(QStringLiteral("Undone: ") + step->line);
}

void MainWindow::onRedo()
{
    if (!engine || engine->isLoading() || !engine->canRedo())
        return;
    engine->redo();
    noteAudioEdited({JournalEdit::Op::Redo, 0, 0, -1, 0.0});
    AuditedStep *step = auditedHistory.redo();
    if (!step || step->line.isEmpty())
        return;
    restoreRedactionRow(*step);
    appendAudit(QStringLiteral("Redone: ") + step->line);
}

int MainWindow::rowOf(quint64 rowId) const
{
    for (int row = 0; grid && row < grid->rowCount(); ++row) {
        const QTableWidgetItem *item = grid->item(row, 0);
        if (item && item->data(kRowIdRole).toULongLong() == rowId)
            return row;
    }
    return -1;
}

// A redaction that was taken back is no longer in the recording, so its
// row leaves the transcript. A row replaced since (an import) stays away.
void MainWindow::takeRedactionRow(AuditedStep &step)
{
    const int row = step.rowId ? rowOf(step.rowId) : -1;
    if (row < 0)
        return;
    step.row = grid->getMarkers().at(row);
    step.rowIndex = row;
    grid->removeRow(row);
}

// Back where it stood, as it was when taken out. Undo and redo go last in,
// first out, so the rows around it are the ones it had.
void MainWindow::restoreRedactionRow(AuditedStep &step)
{
    if (!grid || step.rowIndex < 0)
        return;
    const int at = qMin(step.rowIndex, grid->rowCount());
    grid->insertMarker(at, step.row);
    grid->item(at, 0)->setData(kRowIdRole, step.rowId);
    step.rowIndex = -1;
}

void MainWindow::noteAudioEdited(const JournalEdit &edit)
{
    audioChanged = true;
    JournalEdit kept = edit;
    kept.startMs = qMax<qlonglong>(0, kept.startMs); // the engine clamps the same way
    kept.endMs = qMax(kept.startMs, kept.endMs);
    journalEdits << kept;
    noteWorkChanged();
}
