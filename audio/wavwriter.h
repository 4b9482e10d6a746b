#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtGlobal>

// What saving a recording as a WAV file gave.
struct WavSaveResult
{
    bool ok = false;
    QString error; // the reason, for the user; empty when ok
};

// The 44 bytes in front of the samples of a 16-bit PCM WAV file.
struct WavHeader
{
    QByteArray bytes; // "RIFF" … "data" and its size; empty when refused
    QString refusal;  // why the recording cannot be a WAV file; empty when it can
};

// The header for dataBytes of samples followed by a LIST chunk of
// listChunkBytes (0 for none). The RIFF size covers the pad byte that an odd
// dataBytes needs. Refused when the channel count or rate cannot be written,
// when there are no samples, or when the data size or the RIFF size would
// not fit 32 bits.
WavHeader wavHeader(qint64 dataBytes, qint64 listChunkBytes, int sampleRate, int channels);

// The LIST/INFO chunk for the tags "Title" (INAM), "Engineer" (IENG) and
// "Comment" (ICMT), each written when present and not empty, followed by
// ISFT naming this program. Values are UTF-8 with a terminating zero, padded
// to an even size. Empty for an empty map; any other map, even one without
// these keys, gives a LIST with ISFT.
QByteArray infoListChunk(const QMap<QString, QString> &tags);

// Writes the store (interleaved little-endian 16-bit samples) with the tags
// to path. The file is written beside the target and renamed over it only
// when complete, so a failed save leaves any existing file as it was; a
// recording too large for the format is refused before anything is written.
WavSaveResult saveWav(const QString &path, const QByteArray &store, int sampleRate, int channels,
                      const QMap<QString, QString> &tags);
