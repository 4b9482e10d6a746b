#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>

#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

// Length of the crossfade that joins a loop's end to its start.
constexpr int kLoopCrossfadeMs = 5;

// One point of the record that ties output frames to source frames: from
// outputFrame on, the source advances `speed` frames per output frame,
// starting at sourceFrame. The next mark ends it.
struct PlaybackMark
{
    qint64 outputFrame = 0;
    qint64 sourceFrame = 0;
    double speed = 1.0;
};

// A loop region in frames; it loops only when end > start.
struct LoopFrames
{
    qint64 start = 0;
    qint64 end = 0;
};

// The loop region in frames of a recording of totalFrames frames: both ends
// clamped into the recording; {0, 0} when looping is off or end <= start.
LoopFrames loopFramesFor(bool enabled, qlonglong startMs, qlonglong endMs, int sampleRate,
                         qint64 totalFrames);

// Frames of the crossfade at a loop's seam: kLoopCrossfadeMs, but at most
// half the region, so the faded tail and head never overlap.
qint64 loopCrossfadeFrames(const LoopFrames &loop, int sampleRate);

// Writes silence over channel 0 (left) and/or channel 1 (right) of whole
// interleaved 16-bit frames.
void silenceChannels(char *frames, qint64 frameCount, int channels, bool muteLeft, bool muteRight);

// The source frame at outputFrame according to marks (sorted by outputFrame);
// before the first mark, the first mark's source frame; never below 0.
qint64 sourceFrameAt(const QList<PlaybackMark> &marks, qint64 outputFrame);

// The read-only device an output stream pulls from, over the engine's sample
// store (interleaved little-endian 16-bit). It reads the store in place, so
// edits made between two reads are what plays next, and it applies the
// playback settings on the way out: per-channel mute, speed with the pitch
// kept (1.0 passes the store's bytes through untouched), and a loop region
// whose end runs into its start through a short crossfade.
//
// It also records which source frame each output frame came from, so the
// engine can tell which sample is being heard from how much output the
// stream has played.
class PlaybackReader : public QIODevice
{
    Q_OBJECT

public:
    PlaybackReader(const QByteArray *store, int channels, int sampleRate, QObject *parent = nullptr);
    ~PlaybackReader() override;

    // Points the reader at another store or format; it starts again at byte
    // 0 with empty counts, to be paired with a new output stream. The store
    // object itself may be assigned or resized in place without this.
    void setStore(const QByteArray *store, int channels, int sampleRate);

    // Read-only and always unbuffered: whatever the stream pulls is made at
    // that moment, so settings and edits apply from the next read.
    bool open(OpenMode mode) override;
    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

    // A mono recording's one channel counts as the left one.
    void setChannelMute(bool muteLeft, bool muteRight);
    // Clamped to 0.25 .. 4.0; playback continues from the sample now heard.
    void setSpeed(double factor);
    double speed() const { return playbackSpeed; }
    void setLoopRegion(bool enabled, qlonglong startMs, qlonglong endMs);
    // Moves to a source byte offset, aligned down to a frame and clamped into
    // the store; the stretcher starts afresh there.
    void seekToSourceByte(qint64 byteOffset);

    // Where the next output comes from in the source, in bytes.
    qint64 sourceBytePos() const;
    // Bytes handed out by reads since the store was set.
    qint64 outputBytesPulled() const { return pulledBytes; }
    // The source byte (frame aligned) that produced the output byte at
    // outputBytesPlayed; clamped to what was pulled and into the store.
    qint64 sourceBytesAtOutput(qint64 outputBytesPlayed) const;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    qint64 frameBytes() const;
    qint64 totalFrames() const;
    LoopFrames currentLoop() const;
    bool canStretch() const;
    bool stretching() const;
    bool sourceExhausted() const;
    qint64 produce(char *out, qint64 frames);
    qint64 readSource(char *out, qint64 frames, QList<PlaybackMark> &marks, qint64 firstIndex);
    qint64 stretch(char *out, qint64 frames);
    qint64 stretcherSourceFrame() const;
    void restartStretcher();
    void applyTempo();

    const QByteArray *store = nullptr;
    int channels = 0;
    int rate = 0;

    bool muteLeft = false;
    bool muteRight = false;
    double playbackSpeed = 1.0;
    bool loopEnabled = false;
    qlonglong loopStartMs = 0;
    qlonglong loopEndMs = 0;

    qint64 sourceFrame = 0;       // next frame to take from the store
    QByteArray partialFrame;      // rest of a frame cut short by the last read
    qint64 producedFrames = 0;    // output frames made, including a cut one
    qint64 pulledBytes = 0;
    QList<PlaybackMark> outputMarks;

    std::unique_ptr<soundtouch::SoundTouch> stretcher;
    int batchFrames = 0;          // output of one processing step of the stretcher
    qint64 fedFrames = 0;         // frames given to the stretcher since it restarted
    QList<PlaybackMark> fedMarks; // fed frame -> source frame
    bool stretcherHolding = false; // input given that a flush has not pushed out
    std::vector<char> feedBytes;
    std::vector<float> feedSamples;
    std::vector<float> stretchedSamples;
};
