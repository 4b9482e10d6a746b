#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QFileInfo>
#include <QIcon>

namespace {

constexpr auto kWindowTitle = "Orlenta LE (Beta)";
constexpr auto kStartAccent = "#00FF00";

} // namespace

MainWindow::MainWindow(QWidget *parent, bool startLocked, const WindowPictures &pictures)
    : QMainWindow(parent)
    , locked(startLocked)
{
    engine = new AudioEngine(this);
    grid = new TranscriptionGrid(this);
    waveL = new WaveformDisplay(this);
    waveL->setChannel(0);
    waveR = new WaveformDisplay(this);
    waveR->setChannel(1);

    setWindowIcon(QIcon(pictures.icon));
    setAcceptDrops(true);
    setupUi(pictures);
    watchFieldDrops();
    connectEngine();
    connectTransport();
    connectNavigation();
    connectEditing();
    connectTranscript();
    setupGoToTime();
    connectUnsavedTracking();
    setupJournal();

    applyDarkTheme();
    applyAccentColor(QString::fromLatin1(kStartAccent));
    setupHotkeys();
    setupBookmarkKeys();
    setupPedals();
    fillDeviceList();
    applyLockState();
    loadKeysHelp();
    updatePaneSizes();

    grid->setOverlayText(quickStartGuide());
    showTitle(QString());
    writeBanner();
    showMaximized();
}

MainWindow::~MainWindow()
{
    // The grid's model reports its rows going while the widgets are torn
    // down; this window is no longer whole to hear it.
    if (grid)
        grid->model()->disconnect(this);
    if (!engine)
        return;
    engine->stop();
    // Deleted here, while every widget is still whole: the audio output
    // serves events while it shuts down.
    delete engine;
    engine = nullptr;
}

void MainWindow::showTitle(const QString &recording)
{
    const QString title = QString::fromLatin1(kWindowTitle);
    setWindowTitle(recording.isEmpty() ? title : title + QStringLiteral(" - ") + QFileInfo(recording).fileName());
}
