// Playback: the output stream pulls from the playback reader, which lies
// over the sample store and applies mute, speed and loop on the way out.

#include "audio/audioengine.h"

#include "audio/outputconverter.h"
#include "audio/playbackreader.h"

#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

namespace {

constexpr int kPositionReportMs = 33; // about 30 reports a second while playing
// The device list's change signal does not fire for every unplugged output,
// so a playing stream also checks its device about once a second.
constexpr int kReportsPerDeviceCheck = 30;
// What the sound server holds ahead of the speaker. Left to the server, a
// stream gets a buffer of about two seconds and starts only once most of it
// is queued, filled one 20 ms period per event-loop pass, so on a busy window
// a fresh stream (Play after Stop) was heard late while a resumed one was
// not. 100 ms starts at once and still rides out the usual stalls.
constexpr int kStreamBufferMs = 100;
// A starved stream normally takes data again on its own within a period or
// two; one still idle after this many reports is started again.
constexpr int kStarvedReportsBeforeRestart = 6;

// The stream stopped because the output failed (the server went away or
// refused it), not because it was stopped or ran short of data.
bool outputFailed(const QAudioSink *sink)
{
    return sink->error() != QAudio::NoError && sink->error() != QAudio::UnderrunError;
}

} // namespace

void AudioEngine::setupPlayback()
{
    reader = new PlaybackReader(&store, channels, rate, this);
    positionTimer = new QTimer(this);
    positionTimer->setInterval(kPositionReportMs);
    connect(positionTimer, &QTimer::timeout, this, &AudioEngine::onPositionTick);
    auto *devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this, &AudioEngine::onOutputsChanged);
}

qint64 AudioEngine::byteRate() const
{
    return pcm().bytesOf(rate);
}

void AudioEngine::openStream()
{
    dropGoneDevice();
    QAudioFormat own;
    own.setSampleFormat(QAudioFormat::Int16);
    own.setChannelCount(channels);
    own.setSampleRate(rate);
    const QAudioDevice device = chosenDevice.isNull() ? QMediaDevices::defaultAudioOutput() : chosenDevice;
    QAudioFormat format = own;
    if (!device.isNull()) {
        format = chooseOutputFormat(own, device.preferredFormat(),
                                    [&device](const QAudioFormat &f) { return device.isFormatSupported(f); });
    }
    if (format != own) {
        converter = new OutputConverter(reader, rate, channels, format, this);
        emit debugMessage(QStringLiteral("AudioEngine: Output \"%1\" does not take %2 Hz, %3 channel(s), 16-bit; "
                                         "converting to %4 Hz, %5 channel(s), %6-bit%7.")
                              .arg(device.description())
                              .arg(rate)
                              .arg(channels)
                              .arg(format.sampleRate())
                              .arg(format.channelCount())
                              .arg(format.bytesPerSample() * 8)
                              .arg(format.sampleFormat() == QAudioFormat::Float ? QStringLiteral(" float")
                                                                                 : QString()));
        if (!converter->isValid())
            emit debugMessage(QStringLiteral("AudioEngine: The conversion could not be set up; nothing will be heard."));
    }
    sink = new QAudioSink(device, format, this);
    sink->setBufferSize(qsizetype(format.bytesForDuration(qint64(kStreamBufferMs) * 1000)));
    connect(sink, &QAudioSink::stateChanged, this, &AudioEngine::handleStateChanged);
}

void AudioEngine::releaseStream()
{
    if (!sink)
        return;
    positionTimer->stop();
    ticksStarved = -1;
    sink->disconnect(this);
    sink->stop();
    sink->deleteLater();
    sink = nullptr;
    // After the stream, which may still hold it until it is gone.
    if (converter)
        converter->deleteLater();
    converter = nullptr;
}

QIODevice *AudioEngine::streamSource() const
{
    return converter ? static_cast<QIODevice *>(converter) : reader;
}

void AudioEngine::startStream(bool fresh)
{
    // A fresh stream takes nothing the converter held for the last one; a
    // starved one goes on with it.
    if (converter) {
        if (fresh)
            converter->restart(reader->outputBytesPulled());
        if (!converter->isOpen() && !converter->open(QIODevice::ReadOnly))
            return;
    }
    sink->start(streamSource());
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
    // Resuming after a pause picks up a little earlier, so the words cut off
    // by the pause are heard again; a seek since the pause chose its own
    // place.
    if (sink->state() == QAudio::SuspendedState) {
        // The step back moves the reader only: the stream resumes as it is,
        // its last few milliseconds first. Stopping and starting it instead
        // can leave the sound server silent for seconds.
        if (backstepArmed && backstepMs > 0) {
            const qlonglong backTo = qMax<qlonglong>(0, position() - backstepMs);
            reader->seekToSourceByte(pcm().byteAtMs(backTo));
            emit positionChanged(backTo);
        }
        sink->resume();
    } else {
        startStream();
    }
    backstepArmed = false;
    positionTimer->start();
    // A server that is still away refuses the stream at once, without a
    // change of state to report it.
    if (sink && sink->state() == QAudio::StoppedState && outputFailed(sink))
        handleOutputLost();
}

void AudioEngine::pause()
{
    if (!sink)
        return;
    // Taken while the stream still says what it holds: a suspended stream
    // reports none of it free, which would put the position back by the
    // whole buffer, before a seek just made.
    pausedAtMs = position();
    sink->suspend();
    positionTimer->stop();
    backstepArmed = true;
    emit positionChanged(position());
}

void AudioEngine::setBackstep(qlonglong ms)
{
    backstepMs = qMax<qlonglong>(0, ms);
}

void AudioEngine::stop()
{
    releaseStream();
    underruns = 0;
    // Stop means back to the start; the next play begins there.
    reader->seekToSourceByte(0);
    emit playbackStopped();
}

bool AudioEngine::isPlaying() const
{
    // A starved stream is still playing: it goes on as soon as it has data.
    return sink && (sink->state() == QAudio::ActiveState || (sink->state() == QAudio::IdleState && ticksStarved >= 0));
}

qlonglong AudioEngine::position() const
{
    const qint64 rateBytes = byteRate();
    if (rateBytes <= 0)
        return 0;
    if (sink && sink->state() == QAudio::SuspendedState)
        return pausedAtMs;
    qint64 sourceBytes = reader->sourceBytePos();
    // Idle: everything pulled has been played.
    if (sink && sink->state() != QAudio::StoppedState && sink->state() != QAudio::IdleState) {
        // What the stream has taken but not yet played is still to be heard.
        const qint64 queued = qMax<qint64>(0, sink->bufferSize() - sink->bytesFree());
        const qint64 pulled = converter ? converter->outputBytesPulled() : reader->outputBytesPulled();
        const qint64 played = qMax<qint64>(0, pulled - queued);
        sourceBytes = reader->sourceBytesAtOutput(converter ? converter->sourceBytesAt(played) : played);
    }
    return qMin(sourceBytes * 1000 / rateBytes, durationMs);
}

void AudioEngine::seek(qlonglong ms)
{
    if (loading)
        return;
    backstepArmed = false;
    const qlonglong t = qBound<qlonglong>(0, ms, durationMs);
    const PcmLayout layout = pcm();
    if (layout.frameBytes <= 0 || rate <= 0)
        return;
    reader->seekToSourceByte(layout.byteAtMs(t));
    if (sink && sink->state() != QAudio::StoppedState) {
        // Drop what the stream still holds from before, so the new point is
        // heard at once; a paused stream starts again from here on play.
        const bool wasPlaying = sink->state() == QAudio::ActiveState;
        sink->stop();
        if (wasPlaying)
            startStream();
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

double AudioEngine::playbackSpeed() const
{
    return reader->speed();
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
    reader->seekToSourceByte(pcm().byteAtMs(at));
    openStream();
    if (state == QAudio::ActiveState || state == QAudio::SuspendedState) {
        startStream();
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

void AudioEngine::onPositionTick()
{
    emit positionChanged(position());
    // Each restart waits twice as long as the last: a stream started afresh
    // can take a second or more to move, and restarting it sooner never lets it.
    if (ticksStarved >= 0 && ++ticksStarved > (kStarvedReportsBeforeRestart << qMin(starvedRestarts, 4))) {
        ticksStarved = 0;
        ++starvedRestarts;
        startStream(false);
    }
    if (++reportsSinceDeviceCheck >= kReportsPerDeviceCheck) {
        reportsSinceDeviceCheck = 0;
        onOutputsChanged();
    }
}

void AudioEngine::handleStateChanged(QAudio::State state)
{
    if (state == QAudio::ActiveState) {
        ticksStarved = -1;
        starvedRestarts = 0;
        return;
    }
    if (state == QAudio::StoppedState) {
        // Stopping it ourselves leaves no error; the server going away does.
        if (sink && outputFailed(sink))
            handleOutputLost();
        return;
    }
    if (state != QAudio::IdleState)
        return;
    // Idle with data still to read is an underrun, not the end.
    if (!streamSource()->atEnd()) {
        handleUnderrun();
        return;
    }
    ticksStarved = -1;
    positionTimer->stop();
    if (underruns > 1)
        emit debugMessage(QStringLiteral("AudioEngine: %1 output underruns in this playback.").arg(underruns));
    underruns = 0;
    emit positionChanged(position());
    emit playbackStopped();
}

void AudioEngine::handleUnderrun()
{
    if (ticksStarved < 0)
        ticksStarved = 0;
    if (underruns++ == 0)
        emit debugMessage(QStringLiteral("AudioEngine: Output underrun (the sound server was starved); playback goes on."));
    if (!positionTimer->isActive())
        positionTimer->start();
}

void AudioEngine::handleOutputLost()
{
    // The next play opens a new stream from where the sound stopped.
    const qlonglong at = position();
    releaseStream();
    reader->seekToSourceByte(pcm().byteAtMs(at));
    underruns = 0;
    emit debugMessage(QStringLiteral("AudioEngine: Audio output lost (the sound server went away); "
                                     "press Play to reconnect."));
    emit outputLost();
    emit positionChanged(at);
    emit playbackStopped();
}
