#include "audio/wavreader.h"

#include "audio/bytecursor.h"
#include "audio/riff.h"

#include <QStringDecoder>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace {

using namespace riff;

using Status = WavReadResult::Status;

constexpr qint64 kMinimumFileSize = 44;

// "fmt " fields, counted from the start of the chunk header.
constexpr qint64 kFmtReadableSpan = 24; // header and the fields up to bits per sample
// WAVE_FORMAT_EXTENSIBLE: a 40-byte body whose sub-format GUID starts at body byte 24.
constexpr qint64 kFmtExtensibleBodySize = 40;
constexpr qint64 kFmtSubFormatOffset = kChunkHeaderSize + 24;
constexpr qint64 kGuidSize = 16;
constexpr qint64 kGuidTagSize = 4;
// Sub-format GUIDs are {tag-0000-0010-8000-00AA00389B71}; these are their last 12 bytes.
constexpr char kGuidBaseTail[] = "\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71";

constexpr quint16 kTagPcm = 0x0001;
constexpr quint16 kTagFloat = 0x0003;
constexpr quint16 kTagExtensible = 0xfffe;

constexpr qint64 kInfoTypeSize = 4; // "INFO" at the start of a LIST body

enum class Layout { U8, S16, S24, S32, F32, F64 };

qint64 nextChunk(qint64 cursor, quint32 size)
{
    return cursor + kChunkHeaderSize + size + (size & 1);
}

quint32 chunkSizeAt(const ByteCursor &file, qint64 cursor)
{
    return file.u32At(cursor + kChunkSizeOffset).value_or(0);
}

// What a tag's text says; our own writer stores UTF-8, and anything that is
// not valid UTF-8 was most likely written in a Windows code page, of which
// Latin-1 keeps at least the letters.
QString infoText(QByteArrayView raw)
{
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw = raw.first(nul);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);
    return text; // spaces are part of what was typed
}

void readInfoList(QByteArrayView body, QMap<QString, QString> &tags)
{
    const ByteCursor list(body);
    for (qint64 at = kInfoTypeSize; list.has(at, kChunkHeaderSize);
         at = nextChunk(at, chunkSizeAt(list, at))) {
        const QByteArrayView id = list.viewAt(at, kChunkIdSize);
        QString key;
        if (id == "INAM")
            key = QStringLiteral("Title");
        else if (id == "IENG")
            key = QStringLiteral("Engineer");
        else if (id == "ICMT")
            key = QStringLiteral("Comment");
        else
            continue;
        const qint64 start = at + kChunkHeaderSize;
        const qint64 length = qMin<qint64>(chunkSizeAt(list, at), list.size() - start);
        const QString text = infoText(list.viewAt(start, length));
        if (!text.trimmed().isEmpty() && !tags.contains(key))
            tags.insert(key, text);
    }
}

// Tags may sit before the samples or after them (our writer puts them after),
// so every top-level chunk is looked at, each within the file's bounds.
QMap<QString, QString> readInfoTags(const ByteCursor &file)
{
    QMap<QString, QString> tags;
    for (qint64 cursor = kFirstChunk; file.has(cursor, kChunkHeaderSize);) {
        const QByteArrayView id = file.viewAt(cursor, kChunkIdSize);
        const quint32 size = chunkSizeAt(file, cursor);
        if (id == "data" && size == 0)
            break; // the samples run to the end of the file
        if (id == "LIST") {
            const qint64 start = cursor + kChunkHeaderSize;
            const QByteArrayView body = file.viewAt(start, qMin<qint64>(size, file.size() - start));
            if (body.startsWith("INFO"))
                readInfoList(body, tags);
        }
        cursor = nextChunk(cursor, size);
    }
    return tags;
}

// The sub-format of a WAVE_FORMAT_EXTENSIBLE "fmt " chunk; empty when the
// chunk is too short to hold one, kTagExtensible for a GUID outside the
// standard family (left to the decoder).
std::optional<quint16> extensibleSubFormat(const ByteCursor &file, qint64 fmtAt)
{
    if (chunkSizeAt(file, fmtAt) < kFmtExtensibleBodySize || !file.has(fmtAt + kFmtSubFormatOffset, kGuidSize))
        return std::nullopt;
    const quint32 tag = file.u32At(fmtAt + kFmtSubFormatOffset).value_or(0);
    const QByteArrayView tail = file.viewAt(fmtAt + kFmtSubFormatOffset + kGuidTagSize, kGuidSize - kGuidTagSize);
    if (tail != QByteArrayView(kGuidBaseTail, sizeof kGuidBaseTail - 1) || tag > 0xffff)
        return kTagExtensible;
    return quint16(tag);
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
    const ByteCursor file(bytes);
    const qint64 size = file.size();
    if (size < kMinimumFileSize) {
        result.status = Status::TooSmall;
        return result;
    }
    result.infoTags = readInfoTags(file);

    // The first "data" chunk ends the walk; a "fmt " chunk counts only when
    // its fields up to bits per sample lie inside the file.
    std::optional<qint64> fmtAt;
    std::optional<qint64> dataAt;
    for (qint64 cursor = kFirstChunk; cursor < size - kChunkHeaderSize;) {
        const QByteArrayView id = file.viewAt(cursor, kChunkIdSize);
        const quint32 chunkSize = chunkSizeAt(file, cursor);
        if (id == "fmt ") {
            if (cursor + kFmtReadableSpan <= size)
                fmtAt = cursor;
        } else if (id == "data") {
            dataAt = cursor;
            break;
        }
        cursor = nextChunk(cursor, chunkSize);
    }
    if (!fmtAt || !dataAt) {
        result.status = Status::MissingChunks;
        return result;
    }

    quint16 tag = file.u16At(*fmtAt + kFmtTagOffset).value_or(0);
    const quint16 channels = file.u16At(*fmtAt + kFmtChannelsOffset).value_or(0);
    const quint32 rate = file.u32At(*fmtAt + kFmtRateOffset).value_or(0);
    const quint16 bits = file.u16At(*fmtAt + kFmtBitsOffset).value_or(0);
    result.channels = channels;
    result.sourceBits = bits;
    result.formatTag = tag;
    if (tag == kTagExtensible) {
        const std::optional<quint16> subFormat = extensibleSubFormat(file, *fmtAt);
        if (!subFormat) {
            result.status = Status::UnsupportedFormat;
            return result;
        }
        tag = *subFormat;
        result.formatTag = tag;
    }
    if (channels == 0 || rate == 0 || rate > quint32(std::numeric_limits<int>::max())) {
        result.status = Status::UnsupportedFormat;
        return result;
    }
    result.sampleRate = int(rate);
    if (tag != kTagPcm && tag != kTagFloat) {
        result.status = Status::NeedsDecoder;
        return result;
    }
    const std::optional<Layout> layout = layoutFor(tag, bits);
    if (!layout) {
        result.status = Status::UnsupportedFormat;
        return result;
    }

    const qint64 start = *dataAt + kChunkHeaderSize;
    const qint64 available = size - start;
    const quint32 declared = chunkSizeAt(file, *dataAt);
    const qint64 extent = (declared == 0 || declared > available) ? available : qint64(declared);
    const qint64 width = bytesPerSample(*layout);
    const qint64 count = extent / (channels * width) * channels;

    char *data = bytes.data();
    switch (*layout) {
    case Layout::U8:
        widenU8(bytes, start, count);
        break;
    case Layout::S16:
        std::memmove(data, data + start, size_t(2 * count));
        break;
    case Layout::S24:
    case Layout::S32:
        keepUpperBytes(data, start, count, width);
        break;
    case Layout::F32:
        convertFloat<float>(data, start, count);
        break;
    case Layout::F64:
        convertFloat<double>(data, start, count);
        break;
    }
    bytes.resize(2 * count);
    bytes.squeeze();

    const QString note = conversionNote(*layout, bits);
    if (!note.isEmpty())
        result.notes.append(note);
    result.status = Status::Ok;
    result.bitsPerSample = 16;
    result.samples = std::move(bytes);
    return result;
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
