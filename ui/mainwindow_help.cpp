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
        QStringLiteral("1. Load Audio: Drag & Drop an audio file (WAV, MP3, FLAC, Ogg, M4A, AAC, WMA, AIFF) here "
                       "or click the Open button."),
        QStringLiteral("2. Navigation: Control playback using F1 (Play/Pause), F2 (Rewind), F3 (Forward), "
                       "or a USB Foot Pedal."),
        QStringLiteral("3. Transcribe: Select a region on the waveform, click Bookmark or press Enter to log it. "
                       "Times are automatic."),
        QStringLiteral("4. Redaction: Select a sensitive region, click Silence or 1kHz. "
                       "Each adds a Redaction row and an Audit Log line."),
        QStringLiteral("5. Layout: Drag the dividers to resize panes. Click Hide Info to expand this grid."),
        QStringLiteral("6. Export: Save your work as a PDF Report or CSV Transcript via the Export menu."),
        QStringLiteral("7. Audio Export: Export > Audio (WAV) saves the edited sound, redactions included; "
                       "no mute, speed or transcript."),
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
        "<li><b>F3</b>: Forward (5s)</li>"
        "<li><b>F4</b>: Bookmark the moment being heard, without a dialog (the row is selected, to be named "
        "later)</li></ul>"
        "<p>They work while another program has the focus too: in an X11 session through the X server, "
        "on KDE Plasma's Wayland through the desktop's global shortcuts. Where neither works (GNOME on "
        "Wayland, or another program holds a key), the Debug tab says so; bind desktop shortcuts to "
        "the remote commands instead.</p>"
        "<h4>Remote Commands</h4>"
        "<p><b>orlenta-le --play-pause</b>, <b>--rewind</b>, <b>--forward</b>, <b>--bookmark</b>, "
        "<b>--goto</b> 00:01:30 and <b>--position</b> act on the running window, from a terminal or a "
        "desktop shortcut. <b>orlenta-le FILE</b> opens FILE there.</p>"
        "<h4>Keys in the Window</h4>"
        "<ul><li><b>Ctrl+Z</b>: Undo the last audio edit</li>"
        "<li><b>Ctrl+Y</b> or <b>Ctrl+Shift+Z</b>: Redo</li>"
        "<li><b>Ctrl+G</b>: Go to a time, typed as the clock shows it (a time of day in Real Time), "
        "as mm:ss or as seconds</li>"
        "<li><b>Enter</b> on a waveform or the grid: Add a bookmark, as the Bookmark button does "
        "(for the selection, or at the play position when nothing is selected)</li>"
        "<li><b>Z</b> on a waveform: Switch between the whole recording and the close-up you had</li>"
        "<li><b>Ctrl+A</b> on a waveform: Select the whole recording</li>"
        "<li><b>Esc</b> on a waveform: Clear the selection</li>"
        "<li><b>Delete</b> in the grid: Delete the selected rows; <b>Ctrl+Z</b> there brings them back</li>"
        "<li><b>Tab</b> in the grid: Next cell; from a row's last cell, on to the next control</li></ul>"
        "<p>On a waveform means after clicking it. While you type in a text field or a grid cell, "
        "Ctrl+Z and Ctrl+Y undo and redo the typing and Enter ends the cell's edit.</p>"
        "<h4>Mouse</h4>"
        "<ul><li><b>Click</b> on a waveform: Move the play position there and clear the selection</li>"
        "<li><b>Drag</b> on a waveform: Select a region (both channels while Link L/R is on)</li>"
        "<li><b>Wheel</b> on a waveform: Zoom in (up) or out (down), the left edge stays</li>"
        "<li><b>Right-click</b> on a waveform: Silence, 1kHz Tone, Normalize, Trim Peaks, Undo, Redo</li>"
        "<li><b>Right-click</b> on a grid row: Zoom to Row, Delete Row</li>"
        "<li><b>Double-click</b> on a grid row: Play its stretch in a loop and edit the cell; a Start "
        "or End time is typed as the grid shows it, and the row moves to its place in time</li>"
        "<li><b>Drop</b> an audio file on the window, outside the text fields: Open it</li></ul>"
        "<h4>Time of Day</h4>"
        "<p>Real Time in the time list shows the time of day from the recording's Broadcast Wave or Ogg "
        "data. For a recording without one, <b>Set Start Time…</b> in that list takes the time it "
        "started (hh:mm:ss); the audit log records it and a saved WAV carries it.</p>"
        "<h4>USB Foot Pedals</h4>"
        "<ul><li><b>Left Button (1)</b>: Rewind (5s)</li><li><b>Center Button (2)</b>: Play / Pause</li>"
        "<li><b>Right Button (3)</b>: Forward (5s)</li></ul>"
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
