// Transport commands: the window's playback controls turned into engine
// calls, and the clock, play heads and play icon kept in step.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "ui/metadatapane.h"
#include "widgets/waveformdisplay.h"

#include <QAudioDevice>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {

constexpr qlonglong kStepMs = 5000;
// The Backstep choices, in the order of the list.
const QList<qlonglong> kBackstepMs{0, 1000, 2000, 3000, 5000};
const QString kOutputLostText = QStringLiteral("Audio output lost — press Play to reconnect");
const QString kReady = QStringLiteral("Ready");
const QString kLoading = QStringLiteral("Loading");
const QString kPlaying = QStringLiteral("Playing");
const QString kPaused = QStringLiteral("Paused");
const QString kStopped = QStringLiteral("Stopped");

} // namespace

// Commands that arrive while a recording loads are ignored: the store is
// half filled and nothing may re-enter the load.
bool MainWindow::transportReady() const
{
    return engine && !engine->isLoading();
}

void MainWindow::connectTransport()
{
    connect(skipStartButton, &QToolButton::clicked, this, &MainWindow::onSkipStartClicked);
    connect(rewindButton, &QToolButton::clicked, this, &MainWindow::onRewindClicked);
    connect(playButton, &QToolButton::clicked, this, &MainWindow::onPlayPauseClicked);
    connect(stopButton, &QToolButton::clicked, this, &MainWindow::onStopClicked);
    connect(forwardButton, &QToolButton::clicked, this, &MainWindow::onForwardClicked);
    connect(skipEndButton, &QToolButton::clicked, this, &MainWindow::onSkipEndClicked);
    connect(loopButton, &QPushButton::toggled, this, &MainWindow::onLoopToggled);
    connect(muteLCheck, &QCheckBox::toggled, this, &MainWindow::onMuteToggled);
    connect(muteRCheck, &QCheckBox::toggled, this, &MainWindow::onMuteToggled);
    connect(speedCombo, &QComboBox::currentIndexChanged, this, &MainWindow::onSpeedChanged);
    // The choice of the last run, taken back without a log line: only a
    // change is the user's action.
    const int backstep = int(kBackstepMs.indexOf(preference(QStringLiteral("backstepMs"), 0).toLongLong()));
    backstepCombo->setCurrentIndex(qMax(0, backstep));
    engine->setBackstep(kBackstepMs.value(backstepCombo->currentIndex()));
    connect(backstepCombo, &QComboBox::currentIndexChanged, this, &MainWindow::onBackstepChanged);
    connect(deviceCombo, &QComboBox::currentIndexChanged, this, &MainWindow::onDeviceChanged);
    connect(engine, &AudioEngine::positionChanged, this, &MainWindow::updateClocks);
    connect(engine, &AudioEngine::playbackStopped, this, &MainWindow::onPlaybackStopped);
    // Said in the window, not in a box: the server may come and go many times.
    connect(engine, &AudioEngine::outputLost, this, [this]() { showStatus(kOutputLostText); });
    // The status label says what is going on; the last error stays until
    // something else happens.
    connect(engine, &AudioEngine::errorMessage, this, &MainWindow::showStatus);
    connect(engine, &AudioEngine::loadingStateChanged, this, [this](bool isLoading) {
        if (isLoading)
            showStatus(kLoading);
        else if (statusLabel && statusLabel->text().startsWith(kLoading)) // not a failure
            showStatus(kReady);
    });
    connect(engine, &AudioEngine::loadProgressChanged, this, [this](int percent) {
        showStatus(percent < 0 ? kLoading : QStringLiteral("%1 %2 %").arg(kLoading).arg(percent));
    });
}

void MainWindow::showStatus(const QString &text)
{
    if (!statusLabel)
        return;
    statusLabel->setText(text);
    statusLabel->setToolTip(text);
}

void MainWindow::fillDeviceList()
{
    if (!deviceCombo)
        return;
    for (const QAudioDevice &device : QMediaDevices::audioOutputs())
        deviceCombo->addItem(device.description(), QVariant::fromValue(device));
}

void MainWindow::onPlayPauseClicked()
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("User Action: Play/Pause"));
    if (engine->isPlaying()) {
        engine->pause();
        showStatus(kPaused);
    } else {
        engine->play();
        // A play that failed leaves its error on show.
        if (engine->isPlaying())
            showStatus(kPlaying);
    }
    updatePlayIcon();
}

void MainWindow::onStopClicked()
{
    if (transportReady()) {
        logEvent(QStringLiteral("User Action: Stop"));
        engine->stop();
        showStatus(kStopped);
        // Stop goes back to the start: the clock and play heads must say so
        // now, not at the next play.
        updateClocks(engine->position());
    }
    updatePlayIcon();
}

void MainWindow::onRewindClicked()
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("User Action: Rewind"));
    engine->seek(engine->position() - kStepMs);
}

void MainWindow::onForwardClicked()
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("User Action: Forward"));
    engine->seek(engine->position() + kStepMs);
}

void MainWindow::onSkipStartClicked()
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("User Action: Skip to Start"));
    engine->seek(0);
}

void MainWindow::onSkipEndClicked()
{
    if (!transportReady())
        return;
    logEvent(QStringLiteral("User Action: Skip to End"));
    engine->seek(engine->duration());
}

void MainWindow::onLoopToggled(bool checked)
{
    if (!engine)
        return;
    logEvent(QStringLiteral("User Action: Loop Toggled (%1)").arg(checked ? 1 : 0));
    engine->setLoopRegion(checked, selStart, selEnd);
    if (loopButton && loopButton->isChecked() != checked)
        loopButton->setChecked(checked);
}

void MainWindow::onMuteToggled()
{
    if (!engine || !muteLCheck || !muteRCheck)
        return;
    const bool left = muteLCheck->isChecked();
    const bool right = muteRCheck->isChecked();
    logEvent(QStringLiteral("User Action: Mute Changed (L:%1 R:%2)").arg(left ? 1 : 0).arg(right ? 1 : 0));
    engine->setChannelMute(left, right);
}

void MainWindow::onSpeedChanged(int index)
{
    if (!engine || !speedCombo)
        return;
    const double speed = speedCombo->itemData(index).toDouble();
    engine->setPlaybackSpeed(speed > 0 ? speed : 1.0);
}

void MainWindow::onDeviceChanged(int index)
{
    if (!engine || !deviceCombo || index < 0)
        return;
    engine->setOutputDevice(deviceCombo->itemData(index).value<QAudioDevice>());
}

void MainWindow::onBackstepChanged(int index)
{
    if (!engine || index < 0 || index >= kBackstepMs.size())
        return;
    engine->setBackstep(kBackstepMs.at(index));
    setPreference(QStringLiteral("backstepMs"), kBackstepMs.at(index));
    logEvent(QStringLiteral("User Action: Backstep: ") + backstepCombo->itemText(index));
}

void MainWindow::updateClocks(qlonglong position)
{
    if (!clockLabel)
        return;
    const bool realTime = timeSourceCombo && timeSourceCombo->currentIndex() == kRealTimeSourceIndex && engine;
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setPlayPosition(position);
    }
    followPlayHead(position);
    clockLabel->setText(clockText(position, realTime, engine ? engine->startTimeOfDay() : 0));
}

void MainWindow::updatePlayIcon()
{
    if (!playButton || !engine)
        return;
    playButton->setIcon(transportIcon(engine->isPlaying() ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void MainWindow::onPlaybackStopped()
{
    // The end of the recording; a lost output has said so already.
    if (statusLabel && statusLabel->text() == kPlaying)
        showStatus(kStopped);
    updatePlayIcon();
}
