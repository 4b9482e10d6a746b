#include "audio/playbackreader.h"

#include <QtEndian>

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Stretched output is handed out in pieces this long, each with its own
// mark, so the position record follows the stretcher closely.
constexpr qint64 kStretchPieceFrames = 256;
constexpr qint64 kFeedFrames = 1024;
constexpr double kMinSpeed = 0.25;
constexpr double kMaxSpeed = 4.0;
// How much output the position record keeps: far more than any output
// stream holds queued, so every question about queued sound can be answered.
constexpr int kPositionHistorySeconds = 10;

qint16 toSample(float value)
{
    return qint16(std::lround(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

// One frame mixed from the loop's tail (fading out) and head (fading in).
void crossfadeFrame(char *out, const char *tail, const char *head, int channels, double headWeight)
{
    for (int c = 0; c < channels; ++c) {
        const double a = qFromLittleEndian<qint16>(tail + 2 * c);
        const double b = qFromLittleEndian<qint16>(head + 2 * c);
        const long mixed = std::lround(a * (1.0 - headWeight) + b * headWeight);
        qToLittleEndian<qint16>(qint16(std::clamp(mixed, -32768L, 32767L)), out + 2 * c);
    }
}

} // namespace

LoopFrames loopFramesFor(bool enabled, qlonglong startMs, qlonglong endMs, int sampleRate,
                         qint64 totalFrames)
{
    if (!enabled || sampleRate <= 0 || totalFrames <= 0)
        return {};
    // Clamp the times first so the products below cannot overflow.
    const qlonglong lastMs = totalFrames * 1000 / sampleRate + 1;
    const auto toFrame = [&](qlonglong ms) {
        return qMin<qint64>(totalFrames, qBound(0LL, ms, lastMs) * sampleRate / 1000);
    };
    const LoopFrames loop{toFrame(startMs), toFrame(endMs)};
    if (loop.end <= loop.start)
        return {};
    return loop;
}

qint64 loopCrossfadeFrames(const LoopFrames &loop, int sampleRate)
{
    if (loop.end <= loop.start || sampleRate <= 0)
        return 0;
    return qMin(qint64(sampleRate) * kLoopCrossfadeMs / 1000, (loop.end - loop.start) / 2);
}

void silenceChannels(char *frames, qint64 frameCount, int channels, bool muteLeft, bool muteRight)
{
    if (channels <= 0)
        return;
    const qint64 stride = 2 * qint64(channels);
    const bool right = muteRight && channels > 1;
    for (qint64 i = 0; i < frameCount; ++i) {
        char *frame = frames + i * stride;
        if (muteLeft)
            frame[0] = frame[1] = 0;
        if (right)
            frame[2] = frame[3] = 0;
    }
}

qint64 sourceFrameAt(const QList<PlaybackMark> &marks, qint64 outputFrame)
{
    if (marks.isEmpty())
        return 0;
    const auto after = std::upper_bound(marks.cbegin(), marks.cend(), outputFrame,
                                        [](qint64 frame, const PlaybackMark &mark) {
                                            return frame < mark.outputFrame;
                                        });
    if (after == marks.cbegin())
        return qMax<qint64>(0, marks.first().sourceFrame);
    const PlaybackMark &mark = *(after - 1);
    // Rounded down: a position is never ahead of the sound.
    const auto advance = qint64(std::floor(double(outputFrame - mark.outputFrame) * mark.speed));
    return qMax<qint64>(0, mark.sourceFrame + advance);
}

namespace {

// Appends mark unless it only continues the last one.
void appendMark(QList<PlaybackMark> &marks, const PlaybackMark &mark)
{
    // A later mark at the same output frame (a seek and a speed change before
    // any read) supersedes the earlier one.
    while (!marks.isEmpty() && marks.last().outputFrame >= mark.outputFrame)
        marks.removeLast();
    if (!marks.isEmpty() && marks.last().speed == mark.speed
        && sourceFrameAt(marks, mark.outputFrame) == mark.sourceFrame)
        return;
    marks.append(mark);
}

// Drops marks that end before keepFromFrame; the mark in force there stays.
void dropMarksBefore(QList<PlaybackMark> &marks, qint64 keepFromFrame)
{
    qsizetype stale = 0;
    while (stale + 1 < marks.size() && marks.at(stale + 1).outputFrame <= keepFromFrame)
        ++stale;
    if (stale > 0)
        marks.remove(0, stale);
}

} // namespace

PlaybackReader::PlaybackReader(const QByteArray *store, int channels, int sampleRate, QObject *parent)
    : QIODevice(parent)
    , stretcher(std::make_unique<soundtouch::SoundTouch>())
{
    setStore(store, channels, sampleRate);
}

PlaybackReader::~PlaybackReader() = default;

void PlaybackReader::setStore(const QByteArray *newStore, int channelCount, int sampleRate)
{
    store = newStore;
    channels = qMax(0, channelCount);
    rate = qMax(0, sampleRate);
    sourceFrame = 0;
    partialFrame.clear();
    producedFrames = 0;
    pulledBytes = 0;
    outputMarks = {PlaybackMark{0, 0, stretching() ? playbackSpeed : 1.0}};
    if (canStretch()) {
        stretcher->setChannels(uint(channels));
        stretcher->setSampleRate(uint(rate));
    }
    restartStretcher();
}

bool PlaybackReader::open(OpenMode mode)
{
    if (mode & WriteOnly)
        return false;
    return QIODevice::open(mode | Unbuffered);
}

bool PlaybackReader::atEnd() const
{
    if (!isOpen())
        return true;
    if (!partialFrame.isEmpty() || !sourceExhausted())
        return false;
    return !stretching() || (!stretcherHolding && stretcher->numSamples() == 0);
}

qint64 PlaybackReader::bytesAvailable() const
{
    if (atEnd())
        return QIODevice::bytesAvailable();
    const qint64 total = totalFrames();
    const LoopFrames loop = currentLoop();
    qint64 ahead = loop.end > loop.start ? loop.end - loop.start : total - qMin(sourceFrame, total);
    if (stretching())
        ahead = qint64(double(ahead) / playbackSpeed) + stretcher->numSamples();
    return partialFrame.size() + ahead * frameBytes() + QIODevice::bytesAvailable();
}

void PlaybackReader::setChannelMute(bool left, bool right)
{
    muteLeft = left;
    muteRight = right;
}

void PlaybackReader::setSpeed(double factor)
{
    if (!(factor > 0.0))
        factor = 1.0;
    factor = qBound(kMinSpeed, factor, kMaxSpeed);
    if (factor == playbackSpeed)
        return;
    // What the stretcher holds is not heard yet: go on from where its output
    // stands rather than from how far it has read, with a fresh stretcher.
    if (stretching())
        sourceFrame = qMin(stretcherSourceFrame(), totalFrames());
    playbackSpeed = factor;
    restartStretcher();
    appendMark(outputMarks, {producedFrames, sourceFrame, stretching() ? factor : 1.0});
}

void PlaybackReader::setLoopRegion(bool enabled, qlonglong startMs, qlonglong endMs)
{
    loopEnabled = enabled;
    loopStartMs = startMs;
    loopEndMs = endMs;
}

void PlaybackReader::seekToSourceByte(qint64 byteOffset)
{
    const qint64 bytes = frameBytes();
    if (bytes == 0)
        return;
    sourceFrame = qBound<qint64>(0, byteOffset / bytes, totalFrames());
    restartStretcher();
    appendMark(outputMarks, {producedFrames, sourceFrame, stretching() ? playbackSpeed : 1.0});
}

qint64 PlaybackReader::sourceBytePos() const
{
    const qint64 frame = stretching() ? stretcherSourceFrame() : sourceFrame;
    return qMin(frame, totalFrames()) * frameBytes();
}

qint64 PlaybackReader::sourceBytesAtOutput(qint64 outputBytesPlayed) const
{
    const qint64 bytes = frameBytes();
    if (bytes == 0)
        return 0;
    const qint64 frame = qBound<qint64>(0, outputBytesPlayed, pulledBytes) / bytes;
    return qMin(sourceFrameAt(outputMarks, frame), totalFrames()) * bytes;
}

qint64 PlaybackReader::readData(char *data, qint64 maxSize)
{
    const qint64 bytes = frameBytes();
    if (bytes == 0 || maxSize <= 0)
        return 0;
    qint64 done = 0;
    if (!partialFrame.isEmpty()) {
        done = qMin<qint64>(maxSize, partialFrame.size());
        std::memcpy(data, partialFrame.constData(), size_t(done));
        partialFrame.remove(0, done);
    }
    if (partialFrame.isEmpty()) {
        const qint64 whole = (maxSize - done) / bytes;
        const qint64 made = whole > 0 ? produce(data + done, whole) : 0;
        done += made * bytes;
        const qint64 cut = maxSize - done;
        // A read that ends inside a frame keeps the frame's rest for the next
        // one, so the output stays whole frames however it is read.
        if (made == whole && cut > 0) {
            partialFrame.resize(bytes);
            if (produce(partialFrame.data(), 1) == 1) {
                std::memcpy(data + done, partialFrame.constData(), size_t(cut));
                partialFrame.remove(0, cut);
                done += cut;
            } else {
                partialFrame.clear();
            }
        }
    }
    pulledBytes += done;
    return done;
}

qint64 PlaybackReader::writeData(const char *, qint64)
{
    return -1;
}

qint64 PlaybackReader::frameBytes() const
{
    return 2 * qint64(channels);
}

qint64 PlaybackReader::totalFrames() const
{
    const qint64 bytes = frameBytes();
    return store && bytes > 0 ? store->size() / bytes : 0;
}

LoopFrames PlaybackReader::currentLoop() const
{
    return loopFramesFor(loopEnabled, loopStartMs, loopEndMs, rate, totalFrames());
}

bool PlaybackReader::canStretch() const
{
    return rate > 0 && channels > 0 && channels <= SOUNDTOUCH_MAX_CHANNELS;
}

bool PlaybackReader::stretching() const
{
    return playbackSpeed != 1.0 && canStretch();
}

bool PlaybackReader::sourceExhausted() const
{
    const qint64 total = totalFrames();
    const qint64 at = qMin(sourceFrame, total);
    const LoopFrames loop = currentLoop();
    if (loop.end > loop.start && at <= loop.end)
        return false;
    return at >= total;
}

qint64 PlaybackReader::produce(char *out, qint64 frames)
{
    const qint64 made = stretching() ? stretch(out, frames)
                                     : readSource(out, frames, outputMarks, producedFrames);
    silenceChannels(out, made, channels, muteLeft, muteRight);
    producedFrames += made;
    dropMarksBefore(outputMarks, producedFrames - qint64(kPositionHistorySeconds) * rate);
    return made;
}

qint64 PlaybackReader::readSource(char *out, qint64 frames, QList<PlaybackMark> &marks,
                                  qint64 firstIndex)
{
    const qint64 bytes = frameBytes();
    const qint64 total = totalFrames();
    sourceFrame = qMin(sourceFrame, total);
    if (total == 0)
        return 0;
    const char *samples = store->constData();
    const LoopFrames loop = currentLoop();
    const bool hasLoop = loop.end > loop.start;
    const qint64 fade = loopCrossfadeFrames(loop, rate);
    const qint64 fadeFrom = loop.end - fade;

    appendMark(marks, {firstIndex, sourceFrame, 1.0});
    qint64 done = 0;
    while (done < frames) {
        const bool looping = hasLoop && sourceFrame <= loop.end;
        if (looping && sourceFrame == loop.end) {
            // Only a seek lands here; there is no tail to fade from.
            sourceFrame = loop.start;
            appendMark(marks, {firstIndex + done, sourceFrame, 1.0});
            continue;
        }
        if (looping && sourceFrame >= fadeFrom) {
            const qint64 i = sourceFrame - fadeFrom;
            crossfadeFrame(out + done * bytes, samples + sourceFrame * bytes,
                           samples + (loop.start + i) * bytes, channels, (double(i) + 0.5) / double(fade));
            ++done;
            if (++sourceFrame == loop.end) {
                // The fade has played the head's first frames already.
                sourceFrame = loop.start + fade;
                appendMark(marks, {firstIndex + done, sourceFrame, 1.0});
            }
            continue;
        }
        const qint64 limit = looping ? fadeFrom : total;
        const qint64 run = qMin(frames - done, limit - sourceFrame);
        if (run <= 0)
            break;
        std::memcpy(out + done * bytes, samples + sourceFrame * bytes, size_t(run * bytes));
        done += run;
        sourceFrame += run;
    }
    return done;
}

qint64 PlaybackReader::stretch(char *out, qint64 frames)
{
    const qint64 bytes = frameBytes();
    qint64 written = 0;
    while (written < frames) {
        const qint64 ready = stretcher->numSamples();
        if (ready > 0) {
            const qint64 piece = std::min({ready, frames - written, kStretchPieceFrames});
            appendMark(outputMarks, {producedFrames + written, stretcherSourceFrame(), playbackSpeed});
            stretchedSamples.resize(size_t(piece * channels));
            const qint64 got = stretcher->receiveSamples(stretchedSamples.data(), uint(piece));
            char *to = out + written * bytes;
            for (qint64 i = 0; i < got * channels; ++i)
                qToLittleEndian<qint16>(toSample(stretchedSamples[size_t(i)]), to + 2 * i);
            written += got;
            if (got == 0)
                break;
            continue;
        }
        feedBytes.resize(size_t(kFeedFrames * bytes));
        const qint64 got = readSource(feedBytes.data(), kFeedFrames, fedMarks, fedFrames);
        if (got > 0) {
            feedSamples.resize(size_t(got * channels));
            for (qint64 i = 0; i < got * channels; ++i)
                feedSamples[size_t(i)] = qFromLittleEndian<qint16>(feedBytes.data() + 2 * i) / 32768.0f;
            stretcher->putSamples(feedSamples.data(), uint(got));
            fedFrames += got;
            stretcherHolding = true;
            dropMarksBefore(fedMarks, fedFrames - qint64(kPositionHistorySeconds) * rate);
        } else if (stretcherHolding) {
            // The source is done: push out what the stretcher still holds.
            stretcher->flush();
            stretcherHolding = false;
        } else {
            break;
        }
    }
    return written;
}

qint64 PlaybackReader::stretcherSourceFrame() const
{
    // Each processing step of the stretcher emits a batch copied at the
    // original pace from where the step started, then skips speed x batch
    // frames of input. The ready output is the tail of the latest batches, so
    // its next frame lies this far behind the input still waiting.
    const double ready = stretcher->numSamples();
    const double batches = batchFrames > 0 ? std::ceil(ready / batchFrames) : 0.0;
    const double fedIndex = double(fedFrames) - stretcher->numUnprocessedSamples() - ready
                            - batches * (playbackSpeed - 1.0) * batchFrames;
    return sourceFrameAt(fedMarks, qBound<qint64>(0, qint64(std::floor(fedIndex)), fedFrames));
}

void PlaybackReader::applyTempo()
{
    stretcher->setTempo(playbackSpeed);
    batchFrames = stretcher->getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE);
}

void PlaybackReader::restartStretcher()
{
    stretcher->clear();
    if (canStretch())
        applyTempo();
    fedFrames = 0;
    fedMarks = {PlaybackMark{0, sourceFrame, 1.0}};
    stretcherHolding = false;
}
