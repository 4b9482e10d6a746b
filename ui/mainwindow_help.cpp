// Fixed help texts (quick-start guide, Keys/Help, About) and the small
// commands that only answer with a message.

#include "ui/mainwindow.h"

#include <QMessageBox>
#include <QTextBrowser>
#include <QTextEdit>

namespace {

// Neutral product page; the program itself makes no network request.
constexpr auto kProductPage = "https://orlenta.example.org/";

} // namespace

QString MainWindow::quickStartGuide()
{
    const QStringList lines = {
        QStringLiteral("Orlenta LE - Quick Start Guide"),
        QString(),
        QStringLiteral("1. Load Audio: Drag & Drop a .WAV file here or click the Open button."),
        QStringLiteral("2. Navigation: Control playback using F1 (Play/Pause), F2 (Rewind), F3 (Forward), "
                       "or a USB Foot Pedal."),
        QStringLiteral("3. Transcribe: Select a region on the waveform and click Bookmark (or press Enter) "
                       "to log an event. Timestamps are automatic."),
        QStringLiteral("4. Redaction: Select a sensitive region and click Silence or Tone (1kHz) to obscure "
                       "it. This automatically adds a redaction log entry."),
        QStringLiteral("5. Layout: Drag the dividers to resize panes. Click Hide Info to expand this grid."),
        QStringLiteral("6. Export: Save your work as a PDF Report or CSV Transcript via the Export menu."),
        QStringLiteral("7. Audio Export: The 'Export Audio' function saves the track exactly as you hear it, "
                       "including all applied transcription, redactions (silence/tones) and edits."),
    };
    return lines.join(QLatin1Char('\n'));
}

void MainWindow::loadKeysHelp()
{
    if (!keysView)
        return;
    keysView->setHtml(QStringLiteral(
        "<h3>Keys/Pedals</h3>"
        "<h4>Global Hotkeys (System-Wide)</h4>"
        "<ul><li><b>F1</b>: Play / Pause</li><li><b>F2</b>: Rewind (5s)</li>"
        "<li><b>F3</b>: Forward (5s)</li><li><b>F4</b>: Insert Timestamp (Not Active)</li></ul>"
        "<h4>USB Foot Pedals</h4>"
        "<ul><li><b>Left Button (1)</b>: Rewind</li><li><b>Center Button (2)</b>: Play / Pause</li>"
        "<li><b>Right Button (3)</b>: Forward</li></ul>"
        "<p><i>Note: Pedals work even when the app is minimized.</i></p>"));
}

void MainWindow::loadAboutPage()
{
    if (!aboutView)
        return;
    aboutView->setHtml(QStringLiteral(
        "<div align=\"center\">"
        "<h2>Orlenta LE</h2>"
        "<p>Audio Analysis Tool</p>"
        "<br><img src=\":/Logo_le.png\" height=\"120\">"
        "<h3>Orlenta LE</h3>"
        "<p>Version: 5.60.1</p>"
        "<hr>"
        "<br><p><a style=\"color: #4488ff;\" href=\"%1\">Check for Updates</a></p>"
        "</div>").arg(QString::fromLatin1(kProductPage)));
}

void MainWindow::onCopyPanesClicked()
{
    copyViewText(panesView);
}

void MainWindow::onHelpClicked()
{
    QMessageBox::information(this, QStringLiteral("Help"), QStringLiteral("Manual not found."));
}

void MainWindow::onCheckUpdatesClicked()
{
    QMessageBox::information(this, QStringLiteral("Updates"), QStringLiteral("No updates available."));
}

void MainWindow::onSpectrogramClicked()
{
    // No spectrogram view exists; the command is accepted and ignored.
}
