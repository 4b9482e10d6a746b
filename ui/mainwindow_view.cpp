// The shared view of both channel views (zoom and left-edge time), the
// selection, and seeking from the views and the grid.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/metadatapane.h"
#include "ui/viewnavigation.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int kFitDelayMs = 100;
constexpr double kZoomInFactor = 1.5;
constexpr double kZoomOutFactor = 0.75;
constexpr double kNearFit = 1.05;
constexpr double kDefaultDetailZoom = 0.5;

} // namespace

void MainWindow::connectNavigation()
{
    connect(waveL, &WaveformDisplay::viewChanged, this, &MainWindow::onViewChangedL);
    connect(waveR, &WaveformDisplay::viewChanged, this, &MainWindow::onViewChangedR);
    // A press in either view seeks: the right channel is heard as much as the left.
    connect(waveL, &WaveformDisplay::scrubRequested, this, &MainWindow::onWaveformScrub);
    connect(waveR, &WaveformDisplay::scrubRequested, this, &MainWindow::onWaveformScrub);
    connect(waveL, &WaveformDisplay::regionSelected, this, &MainWindow::onRegionSelected);
    connect(waveR, &WaveformDisplay::regionSelected, this, &MainWindow::onRegionSelected);
    connect(grid, &TranscriptionGrid::jumpToTime, this, &MainWindow::onGridJump);
    connect(grid, &TranscriptionGrid::playRegionRequested, this, &MainWindow::onGridPlayRegion);
    connect(gridButton, &QPushButton::toggled, this, &MainWindow::onToggleGridLines);
    connect(zoomInButton, &QPushButton::clicked, this, &MainWindow::onZoomIn);
    connect(zoomOutButton, &QPushButton::clicked, this, &MainWindow::onZoomOut);
    connect(zoomSelButton, &QPushButton::clicked, this, &MainWindow::onZoomSelection);
    connect(fitButton, &QPushButton::clicked, this, &MainWindow::onFitToWidth);
    connect(selectAllButton, &QPushButton::clicked, this, &MainWindow::onSelectAllClicked);
    connect(deselectButton, &QPushButton::clicked, this, &MainWindow::onDeselectClicked);
    connect(scrollBar, &QScrollBar::valueChanged, this, &MainWindow::onScrollBarMoved);

    // Zoomed in far, the views draw the engine's samples; the guard keeps a
    // deleted engine from being read.
    const QPointer<AudioEngine> source(engine);
    const auto samples = [source] {
        return source ? SampleView{source->samples(), source->channelCount(), source->sampleRate()} : SampleView();
    };
    waveL->setSampleSource(samples);
    waveR->setSampleSource(samples);

    // Keys while a waveform has the focus.
    for (WaveformDisplay *wave : {waveL, waveR}) {
        wave->setFocusPolicy(Qt::StrongFocus);
        const auto key = [&](const QKeySequence &sequence, void (MainWindow::*slot)()) {
            connect(new QShortcut(sequence, wave, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated, this,
                    slot);
        };
        key(QKeySequence(Qt::Key_Z), &MainWindow::onZoomToggle);
        key(QKeySequence::SelectAll, &MainWindow::onSelectAllClicked);
        key(QKeySequence(Qt::Key_Escape), &MainWindow::onDeselectClicked);
    }

    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, &MainWindow::showGridMenu);

    // The time source and the start time of day change what the ruler and
    // the selection read.
    connect(timeSourceCombo, &QComboBox::currentIndexChanged, this, &MainWindow::updateTimeReadouts);
    connect(engine, &AudioEngine::metadataReady, this, &MainWindow::updateTimeReadouts);
    updateTimeReadouts();
}

void MainWindow::updateTimeReadouts()
{
    if (!engine)
        return;
    const bool realTime = timeSourceCombo && timeSourceCombo->currentIndex() == kRealTimeSourceIndex;
    const qlonglong startOfDay = engine->startTimeOfDay();
    if (waveL)
        waveL->setRuler(true, realTime, startOfDay);
    if (durationLabel)
        durationLabel->setText(QStringLiteral("/ ") + clockText(engine->duration(), false, 0));
    if (!selectionLabel)
        return;
    if (selStart < 0 || selEnd <= selStart) {
        selectionLabel->clear();
        return;
    }
    selectionLabel->setText(QStringLiteral("Start %1\nEnd %2\nLength %3")
                                .arg(clockText(selStart, realTime, startOfDay), clockText(selEnd, realTime, startOfDay),
                                     clockText(selEnd - selStart, false, 0)));
}

void MainWindow::showGridMenu(const QPoint &at)
{
    const int row = grid->rowAt(at.y());
    if (row < 0)
        return;
    const Marker marker = grid->getMarkers().value(row);
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Zoom to Row")), &QAction::triggered, this,
            [this, marker]() { onGridRegionRequested(marker.start, marker.end); });
    if (!grid->selectionModel()->isRowSelected(row, QModelIndex()))
        grid->selectRow(row);
    connect(menu.addAction(QStringLiteral("Delete Row")), &QAction::triggered, grid,
            &TranscriptionGrid::deleteSelectedRows);
    menu.exec(grid->viewport()->mapToGlobal(at));
}

void MainWindow::applyView(double zoom, int offset)
{
    viewZoom = zoom;
    viewOffset = offset;
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setView(zoom, offset);
    }
    updateScrollBar();
    notePlayHeadInView();
}

bool MainWindow::playHeadInView(qlonglong position) const
{
    const qlonglong span = waveL ? visibleSpanMs(viewZoom, waveL->width()) : 0;
    return position >= viewOffset && position < viewOffset + span;
}

void MainWindow::notePlayHeadInView()
{
    if (engine)
        playHeadWasVisible = playHeadInView(engine->position());
}

void MainWindow::updateScrollBar()
{
    if (!scrollBar || !waveL || !engine)
        return;
    const ScrollRange range = scrollRangeFor(engine->duration(), viewZoom, waveL->width());
    // The bar follows the view; it must not answer with a view change of its own.
    const QSignalBlocker quiet(scrollBar);
    scrollBar->setRange(0, range.maximum);
    scrollBar->setPageStep(range.pageStep);
    scrollBar->setSingleStep(range.singleStep);
    scrollBar->setValue(viewOffset);
}

void MainWindow::followPlayHead(qlonglong position)
{
    if (!engine || !waveL)
        return;
    const bool visible = playHeadInView(position);
    // Turn the page only when the play head walks out of sight; a view the
    // user moved away from it stays until the head comes through again.
    const bool wholeInView = visibleSpanMs(viewZoom, waveL->width()) >= engine->duration();
    if (!visible && playHeadWasVisible && engine->isPlaying() && !wholeInView) {
        applyView(viewZoom, int(qMin<qlonglong>(position, INT_MAX)));
        return;
    }
    playHeadWasVisible = visible;
}

void MainWindow::onScrollBarMoved(int value)
{
    viewOffset = value;
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setView(viewZoom, value);
    }
    notePlayHeadInView();
}

void MainWindow::onZoomIn()
{
    onZoomRequested(kZoomInFactor);
}

void MainWindow::onZoomOut()
{
    onZoomRequested(kZoomOutFactor);
}

void MainWindow::onZoomRequested(double factor)
{
    if (!waveL)
        return;
    const View view = zoomAboutCentre({viewZoom, viewOffset}, waveL->width(), factor);
    applyView(view.zoom, view.offset);
}

void MainWindow::onZoomSelection()
{
    if (selEnd <= selStart) {
        logAudit(QStringLiteral("No selection to zoom into."));
        return;
    }
    logEvent(QStringLiteral("User Action: Zoom Selection"));
    const View view = zoomToSelection(selStart, selEnd, waveL ? waveL->width() : 0);
    applyView(view.zoom, view.offset);
    logAudit(QStringLiteral("Zoomed to selection."));
}

void MainWindow::onZoomToggle()
{
    if (!waveL || !engine || engine->duration() <= 0)
        return;
    const double fit = waveL->width() / double(engine->duration());
    if (fit * kNearFit >= viewZoom) {
        onViewChangedL(detailZoom > fit ? detailZoom : kDefaultDetailZoom, viewOffset);
        logAudit(QStringLiteral("View: Detail Mode (Restored)"));
    } else {
        detailZoom = viewZoom;
        onFitToWidth();
        logAudit(QStringLiteral("View: Overview Mode"));
    }
}

void MainWindow::onToggleGridLines(bool checked)
{
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setShowGrid(checked);
    }
    logAudit(checked ? QStringLiteral("Grid Lines: ON") : QStringLiteral("Grid Lines: OFF"));
}

void MainWindow::onRegionSelected(qlonglong start, qlonglong end, int channel)
{
    selStart = start;
    selEnd = end;
    const bool linked = linkCheck && linkCheck->isChecked();
    selChannel = linked ? -1 : channel;
    const bool showLeft = selChannel != 1;
    const bool showRight = selChannel != 0;
    if (waveL)
        waveL->setSelection(showLeft ? start : -1, showLeft ? end : -1);
    if (waveR)
        waveR->setSelection(showRight ? start : -1, showRight ? end : -1);
    if (loopButton && loopButton->isChecked() && engine)
        engine->setLoopRegion(true, selStart, selEnd);
    updateTimeReadouts();
}

void MainWindow::onSelectAllClicked()
{
    if (engine)
        onRegionSelected(0, engine->duration(), -1);
}

void MainWindow::onDeselectClicked()
{
    onRegionSelected(-1, -1, -1);
}

void MainWindow::onWaveformScrub(qlonglong ms)
{
    if (transportReady())
        engine->seek(ms);
}

void MainWindow::onGridJump(qlonglong ms)
{
    if (transportReady())
        engine->seek(ms);
}

void MainWindow::onGridPlayRegion(qlonglong start, qlonglong end)
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("Action: Play Region %1-%2").arg(start).arg(end));
    engine->seek(start);
    selStart = start;
    selEnd = end;
    engine->setLoopRegion(true, start, end);
    if (loopButton)
        loopButton->setChecked(true); // runs the loop slot once if it was off
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setSelection(start, end);
    }
    updateTimeReadouts();
    engine->play();
    if (engine->isPlaying())
        showStatus(QStringLiteral("Playing"));
    updatePlayIcon();
}

void MainWindow::onGridRegionRequested(qlonglong start, qlonglong end)
{
    onRegionSelected(start, end, -1);
    if (transportReady())
        engine->seek(start);
    onZoomSelection();
}

void MainWindow::onViewChangedL(double zoom, int offset)
{
    applyView(zoom, offset);
}

void MainWindow::onViewChangedR(double zoom, int offset)
{
    applyView(zoom, offset);
}

void MainWindow::onFitToWidth()
{
    if (!waveL || !engine || engine->duration() <= 0)
        return;
    int width = waveL->width();
    if (width <= 0)
        width = kFallbackViewWidth;
    const double duration = double(engine->duration());
    const double zoom = width / duration;
    logEvent(QStringLiteral("View: Fitting %1 ms to %2 px (Zoom: %3)")
                 .arg(QString::number(duration), QString::number(width), QString::number(zoom)));
    onViewChangedL(zoom, 0);
}

void MainWindow::onWaveformReady(QList<double> l, QList<double> r)
{
    if (!engine)
        return;
    const qlonglong duration = engine->duration();
    if (waveL)
        waveL->setWaveformData(l, duration, 0);
    if (waveR)
        waveR->setWaveformData(r, duration, 1);
    if (rightWaveContainer)
        rightWaveContainer->setVisible(!r.isEmpty());
    updateTimeReadouts(); // an edit may have changed the length
    QTimer::singleShot(kFitDelayMs, this, &MainWindow::onFitToWidth);
}
