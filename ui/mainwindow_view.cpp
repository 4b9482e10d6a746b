// The shared view of both channel views: zoom and left-edge time.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "widgets/waveformdisplay.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

constexpr int kFitDelayMs = 100;
constexpr int kFallbackWidth = 1000;

} // namespace

void MainWindow::applyView(double zoom, int offset)
{
    viewZoom = zoom;
    viewOffset = offset;
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setView(zoom, offset);
    }
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
    // Let pending layout settle so the view has its final width.
    QCoreApplication::processEvents();
    int width = waveL->width();
    if (width <= 0)
        width = kFallbackWidth;
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
    QTimer::singleShot(kFitDelayMs, this, &MainWindow::onFitToWidth);
}
