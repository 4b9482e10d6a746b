#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// Decodes one compressed audio file (MP3, FLAC, Ogg Vorbis, Opus, AAC, WMA,
// AIFF, compressed WAV, ...) with FFmpeg's libraries to interleaved
// little-endian 16-bit samples at the file's own rate and channel count,
// converted by libswresample and with encoder delay and padding trimmed, so
// the output ends up equal to `ffmpeg -i FILE -f s16le -`. The samples are
// written straight into the caller's output array, reserved once from the
// container's duration: a recording of an hour is never copied twice.
//
// No threads: start() opens the file and returns; the decoding then runs in
// short slices scheduled through the caller's event loop, so the window stays
// live while a nested loop waits for finished() or error(), and a stop()
// between slices is honoured. Exactly one of finished() or error() ends a run;
// both arrive from the event loop, never from inside start().
class AudioDecoder : public QObject
{
    Q_OBJECT

public:
    explicit AudioDecoder(QObject *parent = nullptr);
    ~AudioDecoder() override;

    void setSource(const QString &path);
    // Where start() appends the decoded bytes; it must outlive the run. The
    // decoder alone writes it during a run and may reserve more room in it.
    void setOutput(QByteArray *samples);
    void start();
    // Abandons decoding and frees the file; no signal follows.
    void stop();
    QString errorString() const;
    // The 16-bit bytes the container's duration promises, for reserving the
    // store once; 0 when unknown. Valid once start() has returned. Only a hint:
    // the decoded size may differ a little, and a duration beyond reason is
    // capped so that a corrupt header cannot ask for absurd amounts of memory.
    qint64 estimatedBytes() const;

signals:
    // One slice appended samples to the output; the format stays for the run.
    void samplesAppended(int sampleRate, int channels);
    // Bytes of the file read so far of its size; total 0 when the size is
    // unknown. A successful run ends with done == total.
    void progressChanged(qint64 done, qint64 total);
    void finished();
    void error();

private:
    struct Session;

    void scheduleSlice();
    void runSlice(quint64 run);
    void finish();
    void fail(const QString &message);

    QString source;
    QString errorText;
    qint64 estimate = 0;
    quint64 runId = 0; // bumped by start() and stop(), so stale slices do nothing
    bool running = false;
    qint64 lastProgress = -1;
    QByteArray *output = nullptr;
    std::unique_ptr<Session> session;
};
