#pragma once

#include "audio/bytecursor.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// The RIFF/WAVE container, walked the same way by every reader: little-endian,
// offsets counted from the start of the walked bytes or of a chunk header.
namespace riff {

// "RIFF", the RIFF size, then the form type "WAVE".
inline constexpr qint64 kFormTypeOffset = 8;
inline constexpr qint64 kFirstChunk = 12;

// Chunk header.
inline constexpr qint64 kChunkIdSize = 4;
inline constexpr qint64 kChunkSizeOffset = 4;
inline constexpr qint64 kChunkHeaderSize = 8;

// "fmt " fields, from the start of the chunk body.
inline constexpr qint64 kFmtTagOffset = 0;
inline constexpr qint64 kFmtChannelsOffset = 2;
inline constexpr qint64 kFmtRateOffset = 4;
inline constexpr qint64 kFmtByteRateOffset = 8;
inline constexpr qint64 kFmtBlockAlignOffset = 12;
inline constexpr qint64 kFmtBitsOffset = 14;
inline constexpr qint64 kFmtMinimumSize = 16; // the fields up to bits per sample

inline constexpr quint16 kTagPcm = 0x0001;
inline constexpr quint16 kTagFloat = 0x0003;
inline constexpr quint16 kTagALaw = 0x0006;
inline constexpr quint16 kTagMuLaw = 0x0007;
inline constexpr quint16 kTagExtensible = 0xfffe;

// A LIST chunk's body starts with its list type ("INFO", "adtl").
inline constexpr qint64 kListTypeSize = 4;

// True when the bytes start with "RIFF", a size and "WAVE".
bool isRiffWave(QByteArrayView bytes);

struct Chunk
{
    QByteArrayView id;
    quint32 declaredSize = 0;
    QByteArrayView body; // the declared body, cut at the end of the bytes
};

// Walks the chunks from a start offset, with one bounds rule: a chunk is
// seen when its 8-byte header lies inside the bytes, and its body is what
// lies both inside the declared size and inside the bytes. A chunk whose
// declared size reaches the end is the last one, and so is a "data" chunk
// declaring 0: recorders that never came back to fill in the size leave 0,
// and the samples then run to the end of the file.
class ChunkWalker
{
public:
    explicit ChunkWalker(QByteArrayView bytes, qint64 first = kFirstChunk)
        : bytes(bytes)
        , at(first)
    {
    }

    std::optional<Chunk> next();

private:
    ByteCursor bytes;
    qint64 at;
};

// The "fmt " fields, read once.
struct FmtFields
{
    quint16 tag = 0; // as written
    quint16 channels = 0;
    quint32 rate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;
    quint16 bits = 0;
    // WAVE_FORMAT_EXTENSIBLE only: the sub-format's tag when its GUID is of
    // the standard family, kTagExtensible for any other GUID; empty when the
    // body is too short to hold the extension.
    std::optional<quint16> subFormat;

    // The tag that says how the samples are coded.
    quint16 codingTag() const { return tag == kTagExtensible ? subFormat.value_or(0) : tag; }
};

// Empty when the body is too short for the fields up to bits per sample.
std::optional<FmtFields> readFmt(QByteArrayView body);

// A text from an INFO or adtl entry, or a fixed text field: up to the first
// NUL, as UTF-8, or as Latin-1 when it is not valid UTF-8 (what Windows code
// pages most likely wrote; Latin-1 keeps at least their letters).
QString text(QByteArrayView raw);

} // namespace riff
