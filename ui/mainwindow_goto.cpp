// Go to Time (Ctrl+G): a time typed in the clock's own time source.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/metadatapane.h"
#include "widgets/timetext.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>

void MainWindow::setupGoToTime()
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this), &QShortcut::activated, this,
            &MainWindow::onGoToTime);
}

void MainWindow::onGoToTime()
{
    if (!engine || engine->isLoading() || engine->samples().isEmpty())
        return;
    const bool realTime = timeSourceCombo && timeSourceCombo->currentIndex() == kRealTimeSourceIndex;
    bool accepted = false;
    const QString typed = QInputDialog::getText(
        this, QStringLiteral("Go to Time"),
        QStringLiteral("%1 (hh:mm:ss.zzz, mm:ss or seconds):")
            .arg(realTime ? QStringLiteral("Time of day") : QStringLiteral("Time in the recording")),
        QLineEdit::Normal, clockLabel ? clockLabel->text() : QString(), &accepted);
    if (!accepted)
        return;
    const std::optional<qlonglong> time = parseGoToTime(typed);
    if (!time) {
        QMessageBox::warning(this, QStringLiteral("Go to Time"), QStringLiteral("Not a time: %1").arg(typed));
        return;
    }
    const qlonglong target = realTime ? positionAtTimeOfDay(*time, engine->startTimeOfDay()) : *time;
    logEvent(QStringLiteral("User Action: Go to ") + formatTime(target));
    engine->seek(target);
}
