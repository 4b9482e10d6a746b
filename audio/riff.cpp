#include "audio/riff.h"

#include <QStringDecoder>

namespace riff {

namespace {

// WAVE_FORMAT_EXTENSIBLE: a 40-byte body whose sub-format GUID starts at
// body byte 24; sub-format GUIDs are {tag-0000-0010-8000-00AA00389B71}.
constexpr qint64 kFmtExtensibleSize = 40;
constexpr qint64 kFmtSubFormatOffset = 24;
constexpr qint64 kGuidTagSize = 4;
constexpr qint64 kGuidTailSize = 12;
constexpr char kGuidBaseTail[] = "\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71";

} // namespace

bool isRiffWave(QByteArrayView bytes)
{
    const ByteCursor file(bytes);
    return file.viewAt(0, kChunkIdSize) == "RIFF" && file.viewAt(kFormTypeOffset, kChunkIdSize) == "WAVE";
}

std::optional<Chunk> ChunkWalker::next()
{
    if (!bytes.has(at, kChunkHeaderSize))
        return std::nullopt;
    Chunk chunk;
    chunk.id = bytes.viewAt(at, kChunkIdSize);
    chunk.declaredSize = *bytes.u32At(at + kChunkSizeOffset);
    const qint64 start = at + kChunkHeaderSize;
    const qint64 present = bytes.size() - start;
    const bool openEnded = chunk.declaredSize == 0 && chunk.id == "data";
    if (openEnded || chunk.declaredSize >= present) {
        chunk.body = bytes.viewAt(start, present);
        at = bytes.size();
    } else {
        chunk.body = bytes.viewAt(start, chunk.declaredSize);
        // Odd-sized chunks are followed by a pad byte.
        at = start + chunk.declaredSize + (chunk.declaredSize & 1);
    }
    return chunk;
}

std::optional<FmtFields> readFmt(QByteArrayView body)
{
    const ByteCursor fmt(body);
    if (!fmt.has(0, kFmtMinimumSize))
        return std::nullopt;
    FmtFields fields;
    fields.tag = *fmt.u16At(kFmtTagOffset);
    fields.channels = *fmt.u16At(kFmtChannelsOffset);
    fields.rate = *fmt.u32At(kFmtRateOffset);
    fields.byteRate = *fmt.u32At(kFmtByteRateOffset);
    fields.blockAlign = *fmt.u16At(kFmtBlockAlignOffset);
    fields.bits = *fmt.u16At(kFmtBitsOffset);
    if (fields.tag == kTagExtensible && fmt.has(0, kFmtExtensibleSize)) {
        const quint32 tag = *fmt.u32At(kFmtSubFormatOffset);
        const QByteArrayView tail = fmt.viewAt(kFmtSubFormatOffset + kGuidTagSize, kGuidTailSize);
        const bool standard = tail == QByteArrayView(kGuidBaseTail, kGuidTailSize) && tag <= 0xffff;
        fields.subFormat = standard ? quint16(tag) : kTagExtensible;
    }
    return fields;
}

QString text(QByteArrayView raw)
{
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw = raw.first(nul);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(raw);
    return utf8.hasError() ? QString::fromLatin1(raw) : decoded;
}

} // namespace riff
