#include "audio/outputconverter.h"

#include <QtEndian>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Source frames read per step: a few milliseconds, so a stream's request
// is met in one or two steps.
constexpr qint64 kMaxStepFrames = 4096;

AVSampleFormat avFormatOf(QAudioFormat::SampleFormat format)
{
    switch (format) {
    case QAudioFormat::UInt8:
        return AV_SAMPLE_FMT_U8;
    case QAudioFormat::Int16:
        return AV_SAMPLE_FMT_S16;
    case QAudioFormat::Int32:
        return AV_SAMPLE_FMT_S32;
    case QAudioFormat::Float:
        return AV_SAMPLE_FMT_FLT;
    default:
        return AV_SAMPLE_FMT_NONE;
    }
}

QAudioFormat formatOf(int rate, int channels, QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

void freeResampler(SwrContext *context)
{
    swr_free(&context);
}

} // namespace

QAudioFormat chooseOutputFormat(const QAudioFormat &own, const QAudioFormat &preferred,
                                const std::function<bool(const QAudioFormat &)> &supported)
{
    if (supported(own))
        return own;
    const int rate = preferred.sampleRate() > 0 ? preferred.sampleRate() : own.sampleRate();
    const int channels = preferred.channelCount() > 0 ? preferred.channelCount() : own.channelCount();
    const QAudioFormat::SampleFormat sampleFormat =
        avFormatOf(preferred.sampleFormat()) != AV_SAMPLE_FMT_NONE ? preferred.sampleFormat() : QAudioFormat::Int16;
    const std::pair<int, int> shapes[] = {{own.sampleRate(), channels}, {rate, own.channelCount()}, {rate, channels}};
    for (const auto &[shapeRate, shapeChannels] : shapes) {
        for (const QAudioFormat::SampleFormat candidate : {QAudioFormat::Int16, sampleFormat}) {
            const QAudioFormat format = formatOf(shapeRate, shapeChannels, candidate);
            if (supported(format))
                return format;
        }
    }
    return formatOf(rate, channels, sampleFormat);
}

OutputConverter::OutputConverter(QIODevice *source, int sourceRate, int sourceChannels, const QAudioFormat &output,
                                 QObject *parent)
    : QIODevice(parent)
    , source(source)
    , inRate(sourceRate)
    , inChannels(sourceChannels)
    , format(output)
    , resampler(nullptr, freeResampler)
{
    const AVSampleFormat outFormat = avFormatOf(output.sampleFormat());
    valid = source && inRate > 0 && inChannels > 0 && output.sampleRate() > 0 && output.channelCount() > 0
            && outFormat != AV_SAMPLE_FMT_NONE;
    if (!valid || (output.sampleRate() == inRate && outFormat == AV_SAMPLE_FMT_S16))
        return;
    // Channels are mapped before the resampler, so its layouts are equal and
    // it mixes nothing.
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, output.channelCount());
    SwrContext *created = nullptr;
    valid = swr_alloc_set_opts2(&created, &layout, outFormat, output.sampleRate(), &layout, AV_SAMPLE_FMT_S16,
                                inRate, 0, nullptr)
            >= 0;
    av_channel_layout_uninit(&layout);
    resampler.reset(created);
    valid = valid && swr_init(created) >= 0;
}

OutputConverter::~OutputConverter() = default;

bool OutputConverter::open(OpenMode mode)
{
    if (mode & WriteOnly)
        return false;
    if (!source->isOpen() && !source->open(QIODevice::ReadOnly))
        return false;
    return QIODevice::open(mode | Unbuffered);
}

bool OutputConverter::atEnd() const
{
    return !valid || (pending.isEmpty() && source->atEnd() && (!resampler || flushed));
}

qint64 OutputConverter::bytesAvailable() const
{
    if (atEnd())
        return QIODevice::bytesAvailable();
    // An output that reads only what is said to be there must still be
    // offered the resampler's last samples and a last short piece.
    double frames = double(source->bytesAvailable()) / (2.0 * inChannels) * format.sampleRate() / inRate;
    if (resampler && !flushed)
        frames += std::max(0, swr_get_out_samples(resampler.get(), 0));
    const qint64 bytes = qMax<qint64>(1, qint64(std::ceil(frames))) * format.bytesPerFrame();
    return pending.size() + bytes + QIODevice::bytesAvailable();
}

void OutputConverter::restart(qint64 sourcePulled)
{
    sourceBase = sourcePulled;
    pulledBytes = 0;
    pending.clear();
    flushed = false;
    if (resampler)
        valid = swr_init(resampler.get()) >= 0;
}

qint64 OutputConverter::sourceBytesAt(qint64 outputBytes) const
{
    const qint64 frameBytes = format.bytesPerFrame();
    if (!valid || frameBytes <= 0)
        return sourceBase;
    const qint64 outFrames = qMax<qint64>(0, outputBytes) / frameBytes;
    return sourceBase + outFrames * inRate / format.sampleRate() * 2 * inChannels;
}

qint64 OutputConverter::readData(char *data, qint64 maxSize)
{
    if (!valid || maxSize <= 0)
        return 0;
    if (pending.size() < maxSize && !convertMore(maxSize))
        return -1;
    const qint64 done = qMin<qint64>(maxSize, pending.size());
    std::memcpy(data, pending.constData(), size_t(done));
    pending.remove(0, done);
    pulledBytes += done;
    return done;
}

qint64 OutputConverter::writeData(const char *, qint64)
{
    return -1;
}

bool OutputConverter::convertMore(qint64 wantedBytes)
{
    const qint64 inFrameBytes = 2 * qint64(inChannels);
    const qint64 outFrameBytes = format.bytesPerFrame();
    const int outChannels = format.channelCount();
    while (pending.size() < wantedBytes && !flushed) {
        const qint64 outFrames = (wantedBytes - pending.size() + outFrameBytes - 1) / outFrameBytes;
        const qint64 step = qBound<qint64>(1, outFrames * inRate / format.sampleRate() + 1, kMaxStepFrames);
        sourceBytes.resize(size_t(step * inFrameBytes));
        const qint64 got = source->read(sourceBytes.data(), step * inFrameBytes);
        const qint64 frames = qMax<qint64>(0, got) / inFrameBytes;
        if (frames == 0 && !resampler)
            break;
        if (frames > 0)
            mapChannels(sourceBytes.data(), frames);
        if (!resampler) {
            pending.append(reinterpret_cast<const char *>(mapped.data()), frames * outChannels * 2);
            continue;
        }
        // With no more input, the resampler gives out what it still holds.
        if (frames == 0) {
            if (!source->atEnd())
                break;
            flushed = true;
        }
        const int room = swr_get_out_samples(resampler.get(), int(frames));
        if (room < 0)
            return false;
        const qsizetype before = pending.size();
        pending.resize(before + qsizetype(room) * outFrameBytes);
        auto *target = reinterpret_cast<uint8_t *>(pending.data() + before);
        const auto *input = reinterpret_cast<const uint8_t *>(mapped.data());
        const int written = swr_convert(resampler.get(), &target, room, frames > 0 ? &input : nullptr, int(frames));
        if (written < 0)
            return false;
        pending.resize(before + qsizetype(written) * outFrameBytes);
    }
    return true;
}

void OutputConverter::mapChannels(const char *in, qint64 frames)
{
    const int outChannels = format.channelCount();
    mapped.resize(size_t(frames * outChannels));
    for (qint64 f = 0; f < frames; ++f) {
        const char *from = in + f * 2 * inChannels;
        qint16 *to = mapped.data() + f * outChannels;
        if (inChannels == 1 && outChannels > 1) {
            std::fill(to, to + outChannels, qint16(0));
            to[0] = to[1] = qFromLittleEndian<qint16>(from);
            continue;
        }
        // Input channel c goes to output c modulo the outputs, averaged with
        // the others there: every speaker of a many-channel file is heard.
        for (int o = 0; o < outChannels; ++o) {
            int sum = 0;
            int count = 0;
            for (int c = o; c < inChannels; c += outChannels, ++count)
                sum += qFromLittleEndian<qint16>(from + 2 * c);
            to[o] = count > 0 ? qint16(sum / count) : qint16(0);
        }
    }
}
