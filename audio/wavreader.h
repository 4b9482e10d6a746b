#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// What reading a WAV file into the sample store gave.
struct WavReadResult
{
    enum class Status {
        Ok,                // samples hold the recording as 16-bit PCM
        TooSmall,          // under 44 bytes
        MissingChunks,     // not RIFF/WAVE, no readable "fmt " chunk, or no "data" chunk with bytes
        UnsupportedFormat, // no channels, no rate, or a sample layout we cannot convert
        NeedsDecoder,      // a compressed codec inside the WAV: decode the file instead
    };

    Status status = Status::MissingChunks;
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0; // 16 after a successful read
    int sourceBits = 0;    // bits per sample as the file declares them
    quint16 formatTag = 0; // as found; WAVE_FORMAT_EXTENSIBLE is resolved to its sub-format
    QByteArray samples;    // interleaved little-endian signed 16-bit; empty unless Ok
    QStringList notes;     // progress lines for the event log (the conversion done)
    // "Title", "Engineer", "Comment" from the INAM, IENG, ICMT tags of a
    // LIST/INFO chunk anywhere among the top-level chunks (non-empty values only).
    QMap<QString, QString> infoTags;
};

// Reads a whole WAV file. The bytes become the sample store: 16-bit data is
// moved to the front of the same buffer, and 24-bit, 32-bit and float data
// are converted in place, so no second copy of a large recording is made
// (pass the file's bytes with std::move). 8-bit unsigned data doubles in
// size and grows the buffer. Conversions give the same samples as
// `ffmpeg -i FILE -f s16le`, except that floats of 65536 times full scale
// and beyond (infinities too), which ffmpeg wraps around, saturate; NaN
// reads as silence.
//
// The data chunk's declared size bounds the samples; a size of 0, or one
// that runs past the end of the file, takes the samples to the end of the
// file. A trailing partial frame is dropped.
WavReadResult readWav(QByteArray bytes);

// True when the bytes are for readWav: they start as RIFF/WAVE, or they are
// too few to be any WAV, which readWav then reports. Anything else named as
// a WAV is left to the decoder.
bool readsAsWav(QByteArrayView bytes);

// The error text for a failed read; empty for Ok and NeedsDecoder.
QString wavErrorText(WavReadResult::Status status);
