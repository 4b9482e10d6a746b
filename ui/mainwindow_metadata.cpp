// What the engine finds out about a recording: the Metadata and Format
// pages, the case fields carried in its tags, and the clock's time source.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/metadatapane.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTextEdit>

void MainWindow::onMetadataReady(QMap<QString, QString> meta)
{
    const MetadataDisplay display = metadataDisplay(meta, engine ? engine->startTimeOfDay() : 0);
    if (metadataView) {
        metadataView->clear();
        for (const QString &line : display.paneLines)
            metadataView->append(line);
    }
    if (timeSourceCombo) {
        // Each change of the choice runs onTimeSourceChanged: the clock follows.
        timeSourceCombo->clear();
        timeSourceCombo->addItems(display.timeSources);
        timeSourceCombo->setCurrentIndex(display.timeSourceIndex);
    }
    if (refEdit && display.reference)
        refEdit->setText(*display.reference);
    if (transcriberEdit && display.transcriber)
        transcriberEdit->setText(*display.transcriber);
    if (!display.commentFields)
        return;
    const CommentFields &fields = *display.commentFields;
    const std::pair<QLineEdit *, QString> filled[] = {
        {locEdit, fields.location}, {opEdit, fields.operation}, {oicEdit, fields.oic}, {translatorEdit, fields.translator}};
    for (const auto &[edit, text] : filled) {
        if (edit)
            edit->setText(text);
    }
}

void MainWindow::onCopyMetaClicked()
{
    copyViewText(metadataView);
}

void MainWindow::onCopyFormatsClicked()
{
    copyViewText(formatView);
}

void MainWindow::onTimeSourceChanged(int)
{
    if (engine)
        updateClocks(engine->position());
}

CaseDetails MainWindow::caseDetails() const
{
    const auto text = [](const QLineEdit *edit) { return edit ? edit->text() : QString(); };
    return {text(refEdit), text(locEdit), text(opEdit), text(oicEdit), text(transcriberEdit), text(translatorEdit)};
}
