// Opening a recording: the Open command, the engine's reports and the
// loading indicator.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

namespace {

constexpr auto kOpenFilter =
    "Audio Files (*.wav *.ogg *.mp3 *.flac *.m4a *.wma *.aac *.aiff);;All Files (*.*)";

} // namespace

void MainWindow::connectEngine()
{
    connect(engine, &AudioEngine::loadingStateChanged, this, &MainWindow::onLoadingStateChanged);
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
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Audio File"), QString(),
                                                      QString::fromLatin1(kOpenFilter));
    if (path.isEmpty())
        return;
    if (grid)
        grid->clearMarkers();
    onDeselectClicked();
    // The Format page shows what this load reports; a file that cannot be
    // opened or decoded reports nothing, and the last file's report would
    // then describe a recording that is gone.
    if (formatView)
        formatView->clear();

    // The window may be closed while a long decode runs inside loadFile.
    const QPointer<MainWindow> self(this);
    const bool loaded = engine->loadFile(path);
    if (!self)
        return;
    if (!loaded) {
        // A failed load has let the previous recording go: nothing may go on
        // naming or showing it (a report would carry its file name).
        currentFile.clear();
        setWindowTitle(QStringLiteral("Orlenta LE (Beta)"));
        if (waveL)
            waveL->setWaveformData({}, 0, 0);
        if (waveR)
            waveR->setWaveformData({}, 0, 1);
        updateClocks(0);
        return;
    }
    currentFile = path;
    setWindowTitle(QStringLiteral("Orlenta LE (Beta) - ") + QFileInfo(path).fileName());
    if (auditLogView)
        auditLogView->append(QStringLiteral("Opened: ") + path);
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
