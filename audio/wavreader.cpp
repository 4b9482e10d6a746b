#include "audio/wavreader.h"

#include "audio/pcmlayout.h"
#include "audio/riff.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace {

using namespace riff;

using Status = WavReadResult::Status;

constexpr qint64 kMinimumFileSize = 44;

enum class Layout { U8, S16, S24, S32, F32, F64 };

void readInfoList(QByteArrayView body, QMap<QString, QString> &tags)
{
    ChunkWalker entries(body, kListTypeSize);
    while (const auto entry = entries.next()) {
        QString key;
        if (entry->id == "INAM")
            key = QStringLiteral("Title");
        else if (entry->id == "IENG")
            key = QStringLiteral("Engineer");
        else if (entry->id == "ICMT")
            key = QStringLiteral("Comment");
        else
            continue;
        const QString value = riff::text(entry->body); // spaces are part of what was typed
        if (!value.trimmed().isEmpty() && !tags.contains(key))
            tags.insert(key, value);
    }
}

// Tags may sit before the samples or after them (our writer puts them after),
// so every top-level chunk is looked at.
QMap<QString, QString> readInfoTags(QByteArrayView file)
{
    QMap<QString, QString> tags;
    ChunkWalker chunks(file);
    while (const auto chunk = chunks.next()) {
        if (chunk->id == "LIST" && chunk->body.startsWith("INFO"))
            readInfoList(chunk->body, tags);
    }
    return tags;
}

// Integer samples come in whole bytes, with narrower samples (12 or 20 bits)
// stored left-aligned in the next larger size.
std::optional<Layout> layoutFor(quint16 tag, int bits)
{
    if (tag == kTagPcm) {
        if (bits == 8)
            return Layout::U8;
        if (bits > 8 && bits <= 16)
            return Layout::S16;
        if (bits > 16 && bits <= 24)
            return Layout::S24;
        if (bits > 24 && bits <= 32)
            return Layout::S32;
    } else if (tag == kTagFloat) {
        if (bits == 32)
            return Layout::F32;
        if (bits == 64)
            return Layout::F64;
    }
    return std::nullopt;
}

qint64 bytesPerSample(Layout layout)
{
    switch (layout) {
    case Layout::U8:
        return 1;
    case Layout::S16:
        return 2;
    case Layout::S24:
        return 3;
    case Layout::S32:
    case Layout::F32:
        return 4;
    case Layout::F64:
        return 8;
    }
    return 1;
}

// Scaled by 32768, rounded to nearest (half to even) and clipped. Values
// beyond what 32-bit integers hold saturate too, and NaN becomes silence.
qint16 floatToS16(double value)
{
    const double scaled = value * 32768.0;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 32767.0)
        return 32767;
    if (scaled <= -32768.0)
        return -32768;
    return qint16(std::lrint(scaled));
}

// Each conversion reads sample i at or after where it writes sample i, so
// it runs forward through the one buffer.
void keepUpperBytes(char *data, qint64 start, qint64 count, qint64 width)
{
    for (qint64 i = 0; i < count; ++i) {
        const char *in = data + start + i * width + (width - 2);
        data[2 * i] = in[0];
        data[2 * i + 1] = in[1];
    }
}

template<typename Float>
void convertFloat(char *data, qint64 start, qint64 count)
{
    for (qint64 i = 0; i < count; ++i) {
        const Float value = qFromLittleEndian<Float>(data + start + i * qint64(sizeof(Float)));
        qToLittleEndian<qint16>(floatToS16(double(value)), data + 2 * i);
    }
}

// Unsigned 8-bit samples centred on 128 become (v - 128) << 8. The output is
// twice the input, so the samples go to the front first and are widened from
// the back.
void widenU8(QByteArray &bytes, qint64 start, qint64 count)
{
    std::memmove(bytes.data(), bytes.constData() + start, size_t(count));
    bytes.resize(2 * count);
    char *data = bytes.data();
    for (qint64 i = count - 1; i >= 0; --i) {
        const char value = char(quint8(data[i]) ^ 0x80);
        data[2 * i] = 0;
        data[2 * i + 1] = value;
    }
}

QString conversionNote(Layout layout, int sourceBits)
{
    switch (layout) {
    case Layout::S16:
        return QString();
    case Layout::F32:
    case Layout::F64:
        return QStringLiteral("AudioEngine: Converting %1-bit float to 16-bit.").arg(sourceBits);
    case Layout::U8:
    case Layout::S24:
    case Layout::S32:
        break;
    }
    return QStringLiteral("AudioEngine: Converting %1-bit PCM to 16-bit.").arg(sourceBits);
}

} // namespace

WavReadResult readWav(QByteArray bytes)
{
    WavReadResult result;
    if (bytes.size() < kMinimumFileSize) {
        result.status = Status::TooSmall;
        return result;
    }
    if (!isRiffWave(bytes)) {
        result.status = Status::MissingChunks;
        return result;
    }
    result.infoTags = readInfoTags(bytes);

    // The first "data" chunk ends the walk; of the "fmt " chunks before it,
    // the last one holding the fields up to bits per sample counts.
    std::optional<FmtFields> fmt;
    std::optional<Chunk> data;
    ChunkWalker chunks(bytes);
    while (const auto chunk = chunks.next()) {
        if (chunk->id == "fmt ") {
            if (const auto fields = readFmt(chunk->body))
                fmt = fields;
        } else if (chunk->id == "data") {
            data = chunk;
            break;
        }
    }
    if (!fmt || !data || data->body.isEmpty()) {
        result.status = Status::MissingChunks;
        return result;
    }

    result.channels = fmt->channels;
    result.sourceBits = fmt->bits;
    result.formatTag = fmt->tag;
    if (fmt->tag == kTagExtensible && !fmt->subFormat) {
        result.status = Status::UnsupportedFormat;
        return result;
    }
    const quint16 tag = fmt->subFormat.value_or(fmt->tag);
    result.formatTag = tag;
    if (fmt->channels == 0 || fmt->rate == 0 || fmt->rate > quint32(std::numeric_limits<int>::max())) {
        result.status = Status::UnsupportedFormat;
        return result;
    }
    result.sampleRate = int(fmt->rate);
    if (tag != kTagPcm && tag != kTagFloat) {
        result.status = Status::NeedsDecoder;
        return result;
    }
    const std::optional<Layout> layout = layoutFor(tag, fmt->bits);
    if (!layout) {
        result.status = Status::UnsupportedFormat;
        return result;
    }

    const qint64 start = data->body.data() - bytes.constData();
    const qint64 width = bytesPerSample(*layout);
    const PcmLayout source{result.sampleRate, result.channels, int(result.channels * width)};
    const qint64 count = source.framesIn(data->body.size()) * source.channels;

    char *samples = bytes.data();
    switch (*layout) {
    case Layout::U8:
        widenU8(bytes, start, count);
        break;
    case Layout::S16:
        // Moves where the samples begin, not the samples: moving them would
        // touch every page of an hour of audio once more.
        bytes.remove(0, start);
        break;
    case Layout::S24:
    case Layout::S32:
        keepUpperBytes(samples, start, count, width);
        break;
    case Layout::F32:
        convertFloat<float>(samples, start, count);
        break;
    case Layout::F64:
        convertFloat<double>(samples, start, count);
        break;
    }
    bytes.resize(2 * count);
    // Giving back the room of the header and the chunks after the samples
    // copies every sample: only worth it when that room is large.
    if (bytes.capacity() - bytes.size() > bytes.size() / 16)
        bytes.squeeze();

    const QString note = conversionNote(*layout, fmt->bits);
    if (!note.isEmpty())
        result.notes.append(note);
    result.status = Status::Ok;
    result.bitsPerSample = 16;
    result.samples = std::move(bytes);
    return result;
}

bool readsAsWav(QByteArrayView bytes)
{
    return bytes.size() < kMinimumFileSize || isRiffWave(bytes);
}

QString wavErrorText(WavReadResult::Status status)
{
    switch (status) {
    case Status::TooSmall:
        return QStringLiteral("File too small.");
    case Status::MissingChunks:
        return QStringLiteral("Invalid WAV: Missing fmt or data chunk.");
    case Status::UnsupportedFormat:
        return QStringLiteral("Invalid WAV: unsupported format.");
    case Status::Ok:
    case Status::NeedsDecoder:
        break;
    }
    return QString();
}
