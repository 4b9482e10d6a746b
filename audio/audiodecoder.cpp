#include "audiodecoder.h"

#include "audio/storefaulter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace {

// Wall time one slice may work before the event loop gets its turn.
constexpr qint64 kSliceMs = 15;

// The most 16-bit bytes one byte of file is taken to promise; Opus at its
// lowest bit rates comes to a few hundred.
constexpr qint64 kMaxExpansion = 2048;

constexpr int kBytesPerSample = 2;

QString ffmpegMessage(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// True for a readable file without a single byte (files under /proc report
// size 0 and still have content, so this reads rather than asks the size).
bool holdsNothing(const QString &path)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    char byte = 0;
    return file.open(QIODevice::ReadOnly) && file.read(&byte, 1) == 0;
}

struct FormatCloser {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct ConverterFreer {
    void operator()(SwrContext *context) const { swr_free(&context); }
};
struct PacketFreer {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

// An AVChannelLayout that frees its channel map (custom orders allocate one).
struct ChannelLayout {
    AVChannelLayout layout{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout &) = delete;
    ChannelLayout &operator=(const ChannelLayout &) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
    int assign(const AVChannelLayout &other) { return av_channel_layout_copy(&layout, &other); }
    bool equals(const AVChannelLayout &other) const { return av_channel_layout_compare(&layout, &other) == 0; }
};

enum class Step { More, Ended, Failed };

// Makes `out` `bytes` longer, its new bytes unset, and returns where they
// start. A reserve that fell short grows by half at once, so the store moves
// a few times at most instead of growing by every frame.
char *extend(QByteArray &out, qint64 bytes, StoreFaulter &faulter)
{
    const qint64 start = out.size();
    const qint64 wanted = start + bytes;
    if (wanted > out.capacity()) {
        faulter.stop();
        out.reserve(std::max(wanted, out.capacity() + out.capacity() / 2));
    }
    // The resize writes a terminator after the new bytes.
    faulter.beforeWriting(out.constData() + wanted + 1);
    out.resize(wanted);
    return out.data() + start;
}

} // namespace

struct AudioDecoder::Session {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    std::unique_ptr<AVFrame, FrameFreer> frame;
    std::unique_ptr<SwrContext, ConverterFreer> converter; // null while frames are already s16 as wanted
    int stream = -1;
    qint64 fileSize = 0;

    // The output format is fixed by the first decoded frame, as on the ffmpeg
    // command line; later frames in another format are converted to it.
    bool outputFixed = false;
    int outRate = 0;
    ChannelLayout outLayout;

    // The frame format the conversion is set up for.
    bool inputKnown = false;
    int inFormat = AV_SAMPLE_FMT_NONE;
    int inRate = 0;
    ChannelLayout inLayout;

    bool inputEnded = false;
    qint64 samplesOut = 0;
    StoreFaulter faulter;
    QString readError;
    QString decodeError;
    QString failure;

    QString open(const QString &path);
    qint64 estimate() const;
    qint64 progress() const;
    Step step(QByteArray &out);
    int convert(const AVFrame &decoded, QByteArray &out);
    int drainConverter(QByteArray &out);
    int frameBytes() const { return outLayout.layout.nb_channels * kBytesPerSample; }
};

QString AudioDecoder::Session::open(const QString &path)
{
    const QFileInfo info(path);
    // An absolute "file:" URL, so that a relative path or a name with a colon
    // is never taken for a protocol, and only local files can be read.
    const QByteArray url = "file:" + QFile::encodeName(info.absoluteFilePath());
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext *opened = nullptr;
    int result = avformat_open_input(&opened, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (result == AVERROR_INVALIDDATA || result == AVERROR(EINVAL))
        return QStringLiteral("Not a recognised audio file: ") + ffmpegMessage(result);
    if (result < 0)
        return QStringLiteral("Cannot open the file: ") + ffmpegMessage(result);
    format.reset(opened);
    fileSize = format->pb ? std::max<qint64>(0, avio_size(format->pb)) : 0;

    result = avformat_find_stream_info(format.get(), nullptr);
    if (result < 0)
        return QStringLiteral("Cannot read the file: ") + ffmpegMessage(result);

    const AVCodec *decoder = nullptr;
    result = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (result == AVERROR_STREAM_NOT_FOUND)
        return QStringLiteral("No audio stream in the file.");
    if (result < 0 || !decoder) {
        // Asked for a decoder, the search names no stream when none has one;
        // asked again without, it finds the stream whose codec to name.
        if (result == AVERROR_DECODER_NOT_FOUND)
            result = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVStream *audio = result >= 0 ? format->streams[result] : nullptr;
        return audio ? QStringLiteral("No decoder for the audio codec \"%1\".")
                           .arg(QString::fromUtf8(avcodec_get_name(audio->codecpar->codec_id)))
                     : ffmpegMessage(result);
    }
    stream = result;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    codec.reset(avcodec_alloc_context3(decoder));
    packet.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!codec || !packet || !frame)
        return ffmpegMessage(AVERROR(ENOMEM));
    const AVStream *audio = format->streams[stream];
    result = avcodec_parameters_to_context(codec.get(), audio->codecpar);
    if (result >= 0) {
        codec->pkt_timebase = audio->time_base;
        result = avcodec_open2(codec.get(), decoder, nullptr);
    }
    if (result < 0)
        return QStringLiteral("Cannot start the audio decoder: ") + ffmpegMessage(result);
    return QString();
}

qint64 AudioDecoder::Session::estimate() const
{
    const AVStream *audio = format->streams[stream];
    qint64 durationUs = format->duration;
    if (durationUs <= 0 && audio->duration > 0)
        durationUs = av_rescale_q(audio->duration, audio->time_base, AV_TIME_BASE_Q);
    const qint64 rate = audio->codecpar->sample_rate;
    const qint64 channels = audio->codecpar->ch_layout.nb_channels;
    if (durationUs <= 0 || rate <= 0 || channels <= 0 || fileSize <= 0)
        return 0;
    const qint64 frameLimit = fileSize * kMaxExpansion / (channels * kBytesPerSample);
    const qint64 frames = av_rescale(durationUs, rate, AV_TIME_BASE);
    if (frames <= 0)
        return 0;
    return std::min(frames, frameLimit) * channels * kBytesPerSample;
}

qint64 AudioDecoder::Session::progress() const
{
    // Demuxers that open their files themselves leave no byte stream here.
    return format->pb ? std::clamp<qint64>(avio_tell(format->pb), 0, fileSize) : 0;
}

// One unit of work: take a decoded frame if there is one, else feed the
// decoder one packet. Errors in single packets are skipped, as the ffmpeg
// command line does; a read error ends the input like the end of the file.
Step AudioDecoder::Session::step(QByteArray &out)
{
    int result = avcodec_receive_frame(codec.get(), frame.get());
    if (result == 0) {
        result = convert(*frame, out);
        av_frame_unref(frame.get());
        if (result < 0) {
            failure = QStringLiteral("Cannot convert the audio: ") + ffmpegMessage(result);
            return Step::Failed;
        }
        return Step::More;
    }
    if (result == AVERROR_EOF || (result != AVERROR(EAGAIN) && inputEnded)) {
        result = drainConverter(out);
        if (result < 0) {
            failure = QStringLiteral("Cannot convert the audio: ") + ffmpegMessage(result);
            return Step::Failed;
        }
        return Step::Ended;
    }
    if (result != AVERROR(EAGAIN))
        decodeError = ffmpegMessage(result);

    result = av_read_frame(format.get(), packet.get());
    if (result == AVERROR(EAGAIN))
        return Step::More;
    if (result < 0) {
        if (result != AVERROR_EOF)
            readError = ffmpegMessage(result);
        inputEnded = true;
        avcodec_send_packet(codec.get(), nullptr);
        return Step::More;
    }
    if (packet->stream_index == stream) {
        result = avcodec_send_packet(codec.get(), packet.get());
        if (result < 0 && result != AVERROR(EAGAIN))
            decodeError = ffmpegMessage(result);
    }
    av_packet_unref(packet.get());
    return Step::More;
}

int AudioDecoder::Session::convert(const AVFrame &decoded, QByteArray &out)
{
    if (decoded.sample_rate <= 0 || decoded.ch_layout.nb_channels <= 0)
        return AVERROR_INVALIDDATA;
    if (!outputFixed) {
        const int result = outLayout.assign(decoded.ch_layout);
        if (result < 0)
            return result;
        outRate = decoded.sample_rate;
        outputFixed = true;
    }

    if (!inputKnown || decoded.format != inFormat || decoded.sample_rate != inRate
        || !inLayout.equals(decoded.ch_layout)) {
        int result = drainConverter(out);
        if (result < 0)
            return result;
        converter.reset();
        result = inLayout.assign(decoded.ch_layout);
        if (result < 0)
            return result;
        inFormat = decoded.format;
        inRate = decoded.sample_rate;
        inputKnown = true;
        if (inFormat != AV_SAMPLE_FMT_S16 || inRate != outRate || !outLayout.equals(inLayout.layout)) {
            SwrContext *created = nullptr;
            result = swr_alloc_set_opts2(&created, &outLayout.layout, AV_SAMPLE_FMT_S16, outRate, &inLayout.layout,
                                         AVSampleFormat(inFormat), inRate, 0, nullptr);
            converter.reset(created);
            if (result < 0)
                return result;
            result = swr_init(converter.get());
            if (result < 0)
                return result;
        }
    }

    const qint64 start = out.size();
    if (!converter) {
        const qint64 bytes = qint64(decoded.nb_samples) * frameBytes();
        std::memcpy(extend(out, bytes, faulter), decoded.extended_data[0], size_t(bytes));
        samplesOut += decoded.nb_samples;
        return 0;
    }
    const int room = swr_get_out_samples(converter.get(), decoded.nb_samples);
    if (room < 0)
        return room;
    auto *target = reinterpret_cast<uint8_t *>(extend(out, qint64(room) * frameBytes(), faulter));
    const int written = swr_convert(converter.get(), &target, room, const_cast<const uint8_t **>(decoded.extended_data),
                                    decoded.nb_samples);
    out.resize(start + qint64(std::max(written, 0)) * frameBytes());
    if (written < 0)
        return written;
    samplesOut += written;
    return 0;
}

// Takes what a resampler still holds (nothing when only the sample format changes).
int AudioDecoder::Session::drainConverter(QByteArray &out)
{
    if (!converter)
        return 0;
    for (;;) {
        const int room = swr_get_out_samples(converter.get(), 0);
        if (room <= 0)
            return room;
        const qint64 start = out.size();
        auto *target = reinterpret_cast<uint8_t *>(extend(out, qint64(room) * frameBytes(), faulter));
        const int written = swr_convert(converter.get(), &target, room, nullptr, 0);
        out.resize(start + qint64(std::max(written, 0)) * frameBytes());
        if (written <= 0)
            return written;
        samplesOut += written;
    }
}

AudioDecoder::AudioDecoder(QObject *parent)
    : QObject(parent)
{
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::setSource(const QString &path)
{
    source = path;
}

void AudioDecoder::setOutput(QByteArray *samples)
{
    output = samples;
}

void AudioDecoder::start()
{
    stop();
    running = true;
    errorText.clear();
    lastProgress = -1;
    session = std::make_unique<Session>();
    const QString problem = output ? session->open(source) : QStringLiteral("No output for the decoded samples.");
    if (problem.isEmpty()) {
        estimate = session->estimate();
        // One reserve up front spares moving a large store while it fills.
        if (output && output->capacity() < output->size() + estimate)
            output->reserve(output->size() + estimate);
    } else {
        // Reported from the event loop, so a caller's loop that is about to
        // run sees it. Demuxers picked by the suffix fail on an empty file in
        // ways that do not say so.
        session.reset();
        errorText = holdsNothing(source) ? QStringLiteral("The file is empty.") : problem;
    }
    scheduleSlice();
}

void AudioDecoder::stop()
{
    ++runId;
    running = false;
    session.reset();
    estimate = 0;
}

QString AudioDecoder::errorString() const
{
    return errorText;
}

qint64 AudioDecoder::estimatedBytes() const
{
    return estimate;
}

void AudioDecoder::scheduleSlice()
{
    const quint64 run = runId;
    QTimer::singleShot(0, this, [this, run] { runSlice(run); });
}

void AudioDecoder::runSlice(quint64 run)
{
    if (run != runId || !running)
        return;
    if (!session) {
        fail(errorText);
        return;
    }

    QElapsedTimer clock;
    clock.start();
    const qint64 before = output->size();
    Step step = Step::More;
    while (step == Step::More && !clock.hasExpired(kSliceMs)) {
        session->faulter.follow(output->constData() + output->size(), output->constData() + output->capacity());
        step = session->step(*output);
    }

    if (output->size() > before) {
        emit samplesAppended(session->outRate, session->outLayout.layout.nb_channels);
        if (run != runId)
            return;
    }
    if (step == Step::Failed) {
        fail(session->failure);
        return;
    }
    if (step == Step::Ended) {
        finish();
        return;
    }
    const qint64 done = session->progress();
    if (done != lastProgress) {
        lastProgress = done;
        emit progressChanged(done, session->fileSize);
        if (run != runId)
            return;
    }
    scheduleSlice();
}

void AudioDecoder::finish()
{
    const qint64 total = session->fileSize;
    // After some samples a read error still ends the run with error(), so it
    // is heard of; single bad packets only count when nothing decoded at all.
    QString problem;
    if (!session->readError.isEmpty())
        problem = QStringLiteral("Read error: ") + session->readError;
    else if (session->samplesOut == 0 && !session->decodeError.isEmpty())
        problem = QStringLiteral("Cannot decode the audio: ") + session->decodeError;
    else if (session->samplesOut == 0)
        problem = QStringLiteral("No audio samples in the file.");
    if (!problem.isEmpty()) {
        fail(problem);
        return;
    }
    const quint64 run = runId;
    running = false;
    session.reset();
    emit progressChanged(total, total);
    if (run == runId)
        emit finished();
}

void AudioDecoder::fail(const QString &message)
{
    running = false;
    session.reset();
    errorText = message;
    emit error();
}
