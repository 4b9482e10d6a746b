// What the engine finds out about a recording: the Metadata and Format
// pages, the case fields carried in its tags, and the clock's time source,
// with a start time the user types for a recording that carries none.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/metadatapane.h"
#include "widgets/timetext.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTextEdit>
#include <QTime>

#include <optional>

namespace {

const QString kSetStartTime = QStringLiteral("Set Start Time\u2026");

// "hh:mm:ss" or "hh:mm:ss.zzz" within one day, as ms since midnight.
std::optional<qlonglong> timeOfDay(const QString &text)
{
    for (const QString &format : {QStringLiteral("HH:mm:ss.zzz"), QStringLiteral("HH:mm:ss")}) {
        const QTime time = QTime::fromString(text.trimmed(), format);
        if (time.isValid())
            return time.msecsSinceStartOfDay();
    }
    return std::nullopt;
}

} // namespace

void MainWindow::onMetadataReady(QMap<QString, QString> meta)
{
    const MetadataDisplay display = metadataDisplay(meta, engine ? engine->startTimeOfDay() : 0);
    if (metadataView) {
        metadataView->clear();
        for (const QString &line : display.paneLines)
            metadataView->append(line);
    }
    typedStartTimeMs = -1;
    listTimeSources(display.timeSources, display.timeSourceIndex);
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

void MainWindow::listTimeSources(const QStringList &sources, int chosen)
{
    if (!timeSourceCombo)
        return;
    // Each change of the choice runs onTimeSourceChanged: the clock follows.
    timeSourceCombo->clear();
    timeSourceCombo->addItems(sources);
    // A start time read from the recording is the recording's own; a typed
    // one may be typed again to mend a slip.
    if (typedStartTimeMs >= 0 || (engine && engine->startTimeOfDay() < 1))
        timeSourceCombo->addItem(kSetStartTime);
    timeSourceCombo->setCurrentIndex(chosen);
}

void MainWindow::onTimeSourceChanged(int index)
{
    if (timeSourceCombo && index >= 0 && timeSourceCombo->itemText(index) == kSetStartTime) {
        // Not a time source: the choice goes back before anything reads it,
        // and the question comes once the list has closed.
        const QSignalBlocker quiet(timeSourceCombo);
        timeSourceCombo->setCurrentIndex(timeSourceShown);
        QMetaObject::invokeMethod(this, &MainWindow::askStartTime, Qt::QueuedConnection);
        return;
    }
    timeSourceShown = qMax(0, index);
    if (engine)
        updateClocks(engine->position());
}

void MainWindow::askStartTime()
{
    if (!engine || engine->isLoading() || engine->samples().isEmpty())
        return;
    bool accepted = false;
    const QString typed = QInputDialog::getText(
        this, QStringLiteral("Set Start Time"),
        QStringLiteral("Time of day the recording started (hh:mm:ss or hh:mm:ss.zzz):"), QLineEdit::Normal,
        typedStartTimeMs >= 0 ? formatTime(typedStartTimeMs) : QString(), &accepted);
    if (!accepted)
        return;
    const std::optional<qlonglong> time = timeOfDay(typed);
    if (!time) {
        QMessageBox::warning(this, QStringLiteral("Set Start Time"),
                             QStringLiteral("Not a time of day: \"%1\". Type it as hh:mm:ss or hh:mm:ss.zzz, "
                                            "for example 10:15:30 or 10:15:30.250.")
                                 .arg(typed));
        return;
    }
    useStartTime(*time);
    appendAudit(QStringLiteral("Start time set manually: ") + formatTime(*time));
    noteWorkChanged();
}

void MainWindow::useStartTime(qlonglong timeOfDayMs)
{
    if (!engine)
        return;
    typedStartTimeMs = timeOfDayMs;
    engine->setStartTimeOfDay(timeOfDayMs);
    listTimeSources({QStringLiteral("Track Timing"), QStringLiteral("Real Time")}, kRealTimeSourceIndex);
}

CaseDetails MainWindow::caseDetails() const
{
    const auto text = [](const QLineEdit *edit) { return edit ? edit->text() : QString(); };
    return {text(refEdit), text(locEdit), text(opEdit), text(oicEdit), text(transcriberEdit), text(translatorEdit)};
}
