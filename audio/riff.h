#pragma once

#include <QtGlobal>

// RIFF/WAVE layout shared by the readers and the writer: little-endian,
// offsets counted from the start of the file or of a chunk header.
namespace riff {

inline constexpr qint64 kFirstChunk = 12; // after "RIFF", the RIFF size and "WAVE"

// Chunk header.
inline constexpr qint64 kChunkIdSize = 4;
inline constexpr qint64 kChunkSizeOffset = 4;
inline constexpr qint64 kChunkHeaderSize = 8;

// "fmt " fields, from the start of the chunk header.
inline constexpr qint64 kFmtTagOffset = 8;
inline constexpr qint64 kFmtChannelsOffset = 10;
inline constexpr qint64 kFmtRateOffset = 12;
inline constexpr qint64 kFmtByteRateOffset = 16;
inline constexpr qint64 kFmtBlockAlignOffset = 20;
inline constexpr qint64 kFmtBitsOffset = 22;

} // namespace riff
