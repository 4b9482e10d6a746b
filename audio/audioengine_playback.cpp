// Playback: the output stream pulls from the playback reader, which lies
// over the sample store and applies mute, speed and loop on the way out.

#include "audio/audioengine.h"

#include "audio/playbackreader.h"

#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

namespace {

constexpr int kPositionReportMs = 33; // about 30 reports a second while playing
// The device list's change signal does not fire for every unplugged output,
// so a playing stream also checks its device about once a second.
constexpr int kReportsPerDeviceCheck = 30;

} // namespace

void AudioEngine::setupPlayback()
{
    reader = new PlaybackReader(&store, channels, rate, this);
    positionTimer = new QTimer(this);
    positionTimer->setInterval(kPositionReportMs);
    connect(positionTimer, &QTimer::timeout, this, [this]() {
        emit positionChanged(position());
        if (++reportsSinceDeviceCheck >= kReportsPerDeviceCheck) {
            reportsSinceDeviceCheck = 0;
            onOutputsChanged();
        }
    });
    auto *devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this, &AudioEngine::onOutputsChanged);
}

qint64 AudioEngine::byteRate() const
{
    return qint64(bits / 8) * channels * rate;
}

void AudioEngine::openStream()
{
    dropGoneDevice();
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setChannelCount(channels);
    format.setSampleRate(rate);
    const QAudioDevice device = chosenDevice.isNull() ? QMediaDevices::defaultAudioOutput() : chosenDevice;
    sink = new QAudioSink(device, format, this);
    connect(sink, &QAudioSink::stateChanged, this, &AudioEngine::handleStateChanged);
}

void AudioEngine::releaseStream()
{
    if (!sink)
        return;
    positionTimer->stop();
    sink->disconnect(this);
    sink->stop();
    sink->deleteLater();
    sink = nullptr;
}

void AudioEngine::play()
{
    // Nothing loaded (or a load failed): no stream to start, nothing to report.
    if (loading || store.isEmpty())
        return;
    if (!sink)
        openStream();
    if (!reader->isOpen())
        reader->open(QIODevice::ReadOnly);
    if (sink->state() == QAudio::SuspendedState)
        sink->resume();
    else
        sink->start(reader);
    positionTimer->start();
}

void AudioEngine::pause()
{
    if (!sink)
        return;
    sink->suspend();
    positionTimer->stop();
    emit positionChanged(position());
}

void AudioEngine::stop()
{
    releaseStream();
    // Stop means back to the start; the next play begins there.
    reader->seekToSourceByte(0);
    emit playbackStopped();
}

bool AudioEngine::isPlaying() const
{
    return sink && sink->state() == QAudio::ActiveState;
}

qlonglong AudioEngine::position() const
{
    const qint64 rateBytes = byteRate();
    if (rateBytes <= 0)
        return 0;
    qint64 sourceBytes = reader->sourceBytePos();
    // Idle: everything pulled has been played.
    if (sink && sink->state() != QAudio::StoppedState && sink->state() != QAudio::IdleState) {
        // What the stream has taken but not yet played is still to be heard.
        const qint64 queued = qMax<qint64>(0, sink->bufferSize() - sink->bytesFree());
        const qint64 played = qMax<qint64>(0, reader->outputBytesPulled() - queued);
        sourceBytes = reader->sourceBytesAtOutput(played);
    }
    return qMin(sourceBytes * 1000 / rateBytes, durationMs);
}

void AudioEngine::seek(qlonglong ms)
{
    if (loading)
        return;
    const qlonglong t = qBound<qlonglong>(0, ms, durationMs);
    const qint64 frame = qint64(bits / 8) * channels;
    if (frame <= 0 || rate <= 0)
        return;
    qint64 offset = qint64(bits / 8) * rate * channels * t / 1000;
    offset -= offset % frame;
    reader->seekToSourceByte(offset);
    if (sink && sink->state() != QAudio::StoppedState) {
        // Drop what the stream still holds from before, so the new point is
        // heard at once; a paused stream starts again from here on play.
        const bool wasPlaying = sink->state() == QAudio::ActiveState;
        sink->stop();
        if (wasPlaying)
            sink->start(reader);
    }
    emit positionChanged(t);
}

void AudioEngine::setLoopRegion(bool enabled, qlonglong startMs, qlonglong endMs)
{
    reader->setLoopRegion(enabled, startMs, endMs);
}

void AudioEngine::setChannelMute(bool muteLeft, bool muteRight)
{
    reader->setChannelMute(muteLeft, muteRight);
}

void AudioEngine::setPlaybackSpeed(double factor)
{
    reader->setSpeed(factor);
}

void AudioEngine::setOutputDevice(const QAudioDevice &device)
{
    if (device == chosenDevice)
        return;
    chosenDevice = device;
    if (sink)
        moveStreamTo(device);
}

void AudioEngine::moveStreamTo(const QAudioDevice &device)
{
    chosenDevice = device;
    const QAudio::State state = sink->state();
    const qlonglong at = position();
    releaseStream();
    reader->seekToSourceByte(qint64(bits / 8) * channels * (qint64(rate) * at / 1000));
    openStream();
    if (state == QAudio::ActiveState || state == QAudio::SuspendedState) {
        sink->start(reader);
        positionTimer->start();
        if (state == QAudio::SuspendedState)
            pause();
    }
}

bool AudioEngine::dropGoneDevice()
{
    if (chosenDevice.isNull())
        return false;
    for (const QAudioDevice &device : QMediaDevices::audioOutputs()) {
        if (device.id() == chosenDevice.id())
            return false;
    }
    emit debugMessage(QStringLiteral("AudioEngine: Output device \"%1\" is gone; using the default output.")
                          .arg(chosenDevice.description()));
    chosenDevice = QAudioDevice();
    return true;
}

void AudioEngine::onOutputsChanged()
{
    if (dropGoneDevice() && sink)
        moveStreamTo(QAudioDevice());
}

void AudioEngine::handleStateChanged(QAudio::State state)
{
    if (state != QAudio::IdleState)
        return;
    positionTimer->stop();
    emit positionChanged(position());
    emit playbackStopped();
}
