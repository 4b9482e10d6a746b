#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>

#include <functional>
#include <memory>
#include <vector>

struct SwrContext;

// The format to open an output in for a recording of `own` (16-bit at the
// file's rate and channels). `own` when the output takes it; otherwise the
// closest the output takes: the file's rate with the output's channels, the
// output's rate with the file's channels, then the output's preferred
// format, each in 16-bit first. An output that takes none of them gets its
// preferred format, the one it is most likely to play.
QAudioFormat chooseOutputFormat(const QAudioFormat &own, const QAudioFormat &preferred,
                                const std::function<bool(const QAudioFormat &)> &supported);

// Lies between the playback reader (interleaved 16-bit at the recording's
// rate and channels) and an output stream that asked for another format:
// channels are mapped (mono to the first two; otherwise input c to output c
// modulo the outputs, averaged there; outputs left over stay silent), then
// the rate and sample format are converted by the resampler.
//
// Output byte n stands for source byte sourceBytesAt(n): the rate ratio,
// counted from the last restart. The resampler's own delay (well under a
// millisecond) is not counted.
class OutputConverter : public QIODevice
{
    Q_OBJECT

public:
    OutputConverter(QIODevice *source, int sourceRate, int sourceChannels, const QAudioFormat &output,
                    QObject *parent = nullptr);
    ~OutputConverter() override;

    // False when the resampler refused the formats; nothing is read then.
    bool isValid() const { return valid; }

    bool open(OpenMode mode) override;
    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

    // Drops what is held, for a stream that starts afresh; sourcePulled is
    // how many bytes the source has handed out so far, by its own count.
    void restart(qint64 sourcePulled);
    qint64 outputBytesPulled() const { return pulledBytes; }
    // The source's count of bytes handed out that output byte outputBytes
    // (counted since the restart) was made from; frame aligned.
    qint64 sourceBytesAt(qint64 outputBytes) const;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool convertMore(qint64 wantedBytes);
    void mapChannels(const char *in, qint64 frames);

    QIODevice *source = nullptr;
    int inRate = 0;
    int inChannels = 0;
    QAudioFormat format;
    bool valid = false;
    std::unique_ptr<SwrContext, void (*)(SwrContext *)> resampler;

    qint64 sourceBase = 0;  // the source's pulled bytes at the restart
    qint64 pulledBytes = 0; // output bytes handed out since the restart
    bool flushed = false;   // the resampler has given out all it held
    QByteArray pending;     // converted output not yet handed out
    std::vector<char> sourceBytes;
    std::vector<qint16> mapped;
};
