// Unsaved work: the window knows what is not yet in a file it wrote, and asks
// before Open, Import CSV or closing would let it go.

#include "ui/mainwindow.h"

#include "ui/unsavedwork.h"
#include "widgets/transcriptiongrid.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

void MainWindow::connectUnsavedTracking()
{
    const auto transcriptEdited = [this]() {
        transcriptChanged = true;
        noteWorkChanged();
    };
    QAbstractItemModel *rows = grid->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, transcriptEdited);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, transcriptEdited);
    connect(rows, &QAbstractItemModel::dataChanged, this, transcriptEdited);
    connect(rows, &QAbstractItemModel::modelReset, this, transcriptEdited);
    // Only typing counts: text the program fills in from a file is in that file.
    for (QLineEdit *edit : {refEdit, locEdit, opEdit, oicEdit, transcriberEdit, translatorEdit}) {
        connect(edit, &QLineEdit::textEdited, this, [this]() {
            caseDetailsChanged = true;
            noteWorkChanged();
        });
    }
}

void MainWindow::markTranscriptSaved()
{
    transcriptChanged = false;
    noteWorkChanged();
}

UnsavedWork MainWindow::unsavedWork(bool transcriptOnly) const
{
    UnsavedWork work;
    if (transcriptChanged && grid)
        work.transcriptRows = grid->rowCount();
    if (!transcriptOnly) {
        work.caseDetails = caseDetailsChanged;
        work.audioEdits = audioChanged;
        work.auditNotes = int(unreportedNotes.size());
    }
    return work;
}

bool MainWindow::confirmUnsavedWork(const QString &command, bool transcriptOnly)
{
    const UnsavedWork work = unsavedWork(transcriptOnly);
    if (!work.any())
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Unsaved Work"),
                    QStringLiteral("%1 would let go of work that is not saved:").arg(command), QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("unsavedWorkBox"));
    box.setInformativeText(QStringLiteral("• ") + work.lines().join(QStringLiteral("\n• ")));
    QPushButton *exportButton = box.addButton(QStringLiteral("Export CSV…"), QMessageBox::AcceptRole);
    QPushButton *discardButton = box.addButton(QMessageBox::Discard);
    QPushButton *cancelButton = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancelButton);
    box.setEscapeButton(cancelButton);
    box.exec();

    QString choice = QStringLiteral("Cancel");
    bool goOn = false;
    if (box.clickedButton() == exportButton) {
        choice = QStringLiteral("Export CSV");
    } else if (box.clickedButton() == discardButton) {
        choice = QStringLiteral("Discard");
        goOn = true;
    }
    logEvent(QStringLiteral("User Action: Unsaved work before %1: %2 (%3)")
                 .arg(command, choice, work.lines().join(QStringLiteral(", "))));
    // The CSV holds the rows only: what it leaves unsaved is asked about again.
    if (box.clickedButton() == exportButton)
        goOn = exportTranscript() && confirmUnsavedWork(command, transcriptOnly);
    return goOn;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!confirmUnsavedWork(QStringLiteral("Closing"), false)) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
