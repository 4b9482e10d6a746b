// Edit commands on the selection: redaction (silence, 1 kHz tone), level
// repair (normalise, trim peaks), undo and redo.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
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

QString regionText(qlonglong start, qlonglong end)
{
    return QStringLiteral("%1-%2ms").arg(start).arg(end);
}

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

bool MainWindow::editReady() const
{
    return engine && !engine->isLoading() && selEnd > selStart;
}

void MainWindow::showEditMenu(QWidget *view, const QPoint &at)
{
    if (!engine)
        return;
    QMenu menu(this);
    const bool canEdit = editReady() && !engine->samples().isEmpty();
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
    engine->applySilence(selStart, selEnd, selChannel);
    noteAudioEdited({JournalEdit::Op::Silence, selStart, selEnd, selChannel, 0.0});
    if (grid)
        grid->addMarker(selStart, selEnd, QStringLiteral("Redaction"), QStringLiteral("Silence Applied"), selChannel);
    if (auditLogView)
        auditLogView->append(QStringLiteral("Silenced: ") + regionText(selStart, selEnd));
}

void MainWindow::onTone1kClicked()
{
    if (!editReady())
        return;
    engine->applyTone(kToneHz, selStart, selEnd, selChannel);
    noteAudioEdited({JournalEdit::Op::Tone, selStart, selEnd, selChannel, kToneHz});
    if (grid)
        grid->addMarker(selStart, selEnd, QStringLiteral("Redaction"), QStringLiteral("Tone 1kHz Applied"), selChannel);
    if (auditLogView)
        auditLogView->append(QStringLiteral("Applied 1kHz Tone: ") + regionText(selStart, selEnd));
}

void MainWindow::onNormalizeClicked()
{
    if (!editReady())
        return;
    engine->applyNormalize(selStart, selEnd, selChannel, kNormalizeTargetDb);
    noteAudioEdited({JournalEdit::Op::Normalize, selStart, selEnd, selChannel, kNormalizeTargetDb});
    if (auditLogView)
        auditLogView->append(QStringLiteral("Normalized: ") + regionText(selStart, selEnd));
}

void MainWindow::onTrimPeaksClicked()
{
    if (!editReady())
        return;
    engine->applyTrimPeaks(kTrimRatio, selStart, selEnd, selChannel);
    noteAudioEdited({JournalEdit::Op::TrimPeaks, selStart, selEnd, selChannel, kTrimRatio});
    if (auditLogView)
        auditLogView->append(QStringLiteral("Trimmed Peaks: ") + regionText(selStart, selEnd));
}

void MainWindow::onUndo()
{
    if (!engine || engine->isLoading() || !engine->canUndo())
        return;
    engine->undo();
    noteAudioEdited({JournalEdit::Op::Undo, 0, 0, -1, 0.0});
}

void MainWindow::onRedo()
{
    if (!engine || engine->isLoading() || !engine->canRedo())
        return;
    engine->redo();
    noteAudioEdited({JournalEdit::Op::Redo, 0, 0, -1, 0.0});
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
