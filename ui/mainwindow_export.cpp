// What leaves the program: the edited audio as WAV with the case details.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "audio/wavwriter.h"
#include "ui/metadatapane.h"

#include <QMessageBox>

void MainWindow::onSaveClicked()
{
    if (!engine || engine->isLoading())
        return;
    const QString path = askSavePath(QStringLiteral("audio"), QStringLiteral("Save Audio File"),
                                     QStringLiteral("Wave Files (*.wav)"), QStringLiteral("-edited.wav"));
    if (path.isEmpty())
        return;
    const WavSaveResult result = engine->saveWav(path, caseDetailsTags(caseDetails()));
    if (!result.ok) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Save Error"), QStringLiteral("Could not save file."),
                        QMessageBox::Ok, this);
        box.setInformativeText(path + QStringLiteral(": ") + result.error);
        box.exec();
        return;
    }
    appendAudit(QStringLiteral("Saved: ") + path);
    caseDetailsChanged = false;
    audioChanged = false;
    noteWorkChanged();
}
