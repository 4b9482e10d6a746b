#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <optional>

// What saving a recording as a WAV file gave.
struct WavSaveResult
{
    bool ok = false;
    QString error; // the reason, for the user; empty when ok
};

// The bytes in front of the samples of a 16-bit PCM WAV file: 44, and the
// Broadcast Wave extension between "fmt " and "data" when there is one.
struct WavHeader
{
    QByteArray bytes; // "RIFF" … "data" and its size; empty when refused
    QString refusal;  // why the recording cannot be a WAV file; empty when it can
};

// The header for dataBytes of samples followed by a LIST chunk of
// listChunkBytes (0 for none), with bext (a whole chunk, or empty) before the
// samples. The RIFF size covers the pad byte that an odd dataBytes needs.
// Refused when the channel count or rate cannot be written, when there are
// no samples, or when the data size or the RIFF size would not fit 32 bits.
WavHeader wavHeader(qint64 dataBytes, qint64 listChunkBytes, int sampleRate, int channels,
                    const QByteArray &bext = {});

// The Broadcast Wave extension (version 1, 602 bytes after its header) for
// a recording started startTimeOfDayMs after midnight: the origination time
// "hh:mm:ss" and the time reference, in samples at sampleRate since
// midnight, which keeps the milliseconds. The date, description and
// references stay empty: a start time typed by the user has no date.
QByteArray bextChunk(qlonglong startTimeOfDayMs, int sampleRate);

// The LIST/INFO chunk for the tags "Title" (INAM), "Engineer" (IENG) and
// "Comment" (ICMT), each written when present and not empty, followed by
// ISFT naming this program. Values are UTF-8 with a terminating zero, padded
// to an even size. Empty for an empty map; any other map, even one without
// these keys, gives a LIST with ISFT.
QByteArray infoListChunk(const QMap<QString, QString> &tags);

// Writes the store (interleaved little-endian 16-bit samples) with the tags,
// and the start time of day in a Broadcast Wave extension when given, to path. The file is written beside the target and renamed over it only
// when complete, so a failed save leaves any existing file as it was; a
// recording too large for the format is refused before anything is written.
WavSaveResult saveWav(const QString &path, const QByteArray &store, int sampleRate, int channels,
                      const QMap<QString, QString> &tags,
                      std::optional<qlonglong> startTimeOfDayMs = std::nullopt);
