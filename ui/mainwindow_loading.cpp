// Opening a recording: the Open command, the engine's reports and the
// loading indicator.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/recoveryjournal.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QFileInfo>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

#include <algorithm>
#include <array>

namespace {

constexpr auto kOpenFilter =
    "Audio Files (*.wav *.ogg *.mp3 *.flac *.m4a *.wma *.aac *.aiff);;All Files (*.*)";

// The types the Open dialog offers first; a dropped file must be one of them.
constexpr std::array kAudioSuffixes{"wav", "ogg", "mp3", "flac", "m4a", "wma", "aac", "aiff"};

} // namespace

bool MainWindow::isAudioFileName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return std::any_of(kAudioSuffixes.begin(), kAudioSuffixes.end(),
                       [&suffix](const char *known) { return suffix == QLatin1String(known); });
}

void MainWindow::connectEngine()
{
    connect(engine, &AudioEngine::loadingStateChanged, this, &MainWindow::onLoadingStateChanged);
    connect(engine, &AudioEngine::recordingReplaced, this, &MainWindow::onRecordingReplaced);
    connect(engine, &AudioEngine::waveformDataReady, this, &MainWindow::onWaveformReady);
    connect(engine, &AudioEngine::errorMessage, this, &MainWindow::onErrorMessage);
    connect(engine, &AudioEngine::formatDataReady, this, &MainWindow::onFormatDataReady);
    connect(engine, &AudioEngine::metadataReady, this, &MainWindow::onMetadataReady);
    connect(engine, &AudioEngine::markersReady, this, &MainWindow::onMarkersReady);
    connect(engine, &AudioEngine::debugMessage, this, &MainWindow::logEvent);
    connect(engine, &AudioEngine::loadProgressChanged, this, &MainWindow::onLoadProgress);
}

void MainWindow::onOpenClicked()
{
    if (!engine || engine->isLoading())
        return;
    const QString path =
        askOpenPath(QStringLiteral("recording"), QStringLiteral("Open Audio File"), QString::fromLatin1(kOpenFilter));
    if (!path.isEmpty())
        openRecording(path);
}

void MainWindow::openRecording(const QString &path)
{
    if (!engine || engine->isLoading() || !confirmUnsavedWork(QStringLiteral("Opening another recording"), false))
        return;
    // The window may be closed while a long decode runs inside loadFile.
    // A failed load changes nothing here: the recording, the transcript and
    // the selection stay as they are.
    const QPointer<MainWindow> self(this);
    openingPath = path;
    const bool loaded = engine->loadFile(path);
    if (!self)
        return;
    openingPath.clear();
    if (!loaded)
        return;
    appendAudit(QStringLiteral("Opened: ") + path);
}

void MainWindow::onRecordingReplaced(const QString &path)
{
    // What belonged to the old recording goes with it, before the new
    // recording's report, lists, metadata and markers arrive.
    if (grid)
        grid->clearMarkers();
    onDeselectClicked();
    if (formatView)
        formatView->clear();
    currentFile = path;
    showTitle(path);
    transcriptChanged = false;
    audioChanged = false;
    unreportedNotes.clear(); // the next report begins at this recording's "Opened:" line
    journalEdits.clear();
    auditedHistory.recordLoad(); // as the engine's history, which starts again with this recording
    noteWorkChanged();
}

void MainWindow::onLoadingStateChanged(bool isLoading)
{
    if (openButton)
        openButton->setEnabled(!isLoading);
    if (!loadProgress)
        return;
    if (isLoading) {
        loadProgress->setRange(0, 0); // busy until the decoder knows the total
        loadProgress->show();
    } else {
        loadProgress->hide();
    }
}

void MainWindow::onLoadProgress(int percent)
{
    if (!loadProgress)
        return;
    if (percent < 0) {
        loadProgress->setRange(0, 0);
        return;
    }
    loadProgress->setRange(0, 100);
    loadProgress->setValue(percent);
}

void MainWindow::onFormatDataReady(QString info)
{
    if (formatView)
        formatView->setPlainText(info);
}
