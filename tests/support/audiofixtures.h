#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Real audio files for tests, made at test time by the tools every machine
// gets from scripts/deps.sh (ffmpeg, sox, oggenc, espeak-ng); nothing is
// downloaded or stored in the repository.
namespace fixtures {

// Runs a program to completion; returns its standard output, or a null
// QByteArray (and a warning naming the command) when it fails.
QByteArray run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);

// ffmpeg -y -f lavfi -i <source> <extra> <path>; e.g. source
// "sine=frequency=440:sample_rate=44100:duration=2" with extra
// {"-ac", "2", "-c:a", "pcm_s24le"}. True on success.
bool ffmpegGenerate(const QString &source, const QStringList &extra, const QString &path);

// What `ffmpeg -i path -f s16le -` gives: the reference 16-bit samples.
// Channel count and rate stay the file's own.
QByteArray ffmpegS16(const QString &path);

// Little-endian helpers for building RIFF files byte by byte.
QByteArray le16(quint16 value);
QByteArray le32(quint32 value);
QByteArray chunk(const QByteArray &id, const QByteArray &data); // adds the pad byte for odd sizes

// 16-bit little-endian samples.
QByteArray s16(const QList<int> &values);

// A "fmt " chunk: tag, channels, rate, bits (block align and byte rate derived).
QByteArray fmtChunk(quint16 tag, quint16 channels, quint32 rate, quint16 bits);

// "RIFF" + size + "WAVE" + the chunks given.
QByteArray riff(const QByteArray &chunks);

// A whole file's bytes (empty when it cannot be read); writing one whole, true on success.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace fixtures
