#pragma once

#include "audio/edithistory.h"
#include "audio/pcmlayout.h"
#include "audio/peaklists.h"
#include "audio/wavwriter.h"
#include "widgets/marker.h"

#include <QAudio>
#include <QAudioDevice>
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class OutputConverter;
class PlaybackReader;
struct EditRegion;
struct EditResult;
class QAudioSink;
class QIODevice;
class QEventLoop;
class QTimer;
struct ScanResult;

// Holds the whole recording in memory as interleaved 16-bit PCM (the sample
// store) with its format, fills it from a file, and reports what it finds.
// Everything runs on the GUI thread; decoding a compressed file runs a nested
// event loop so the window stays live.
class AudioEngine : public QObject
{
    Q_OBJECT

public:
    explicit AudioEngine(QObject *parent = nullptr);
    ~AudioEngine() override;

    bool loadFile(const QString &path);
    qlonglong duration() const { return durationMs; }
    void clearAudio();

    void play();
    void pause();
    void stop();
    bool isPlaying() const;
    // The position of the sample being heard, in ms.
    qlonglong position() const;
    void seek(qlonglong ms);
    void setLoopRegion(bool enabled, qlonglong startMs, qlonglong endMs);
    void setChannelMute(bool muteLeft, bool muteRight);
    void setPlaybackSpeed(double factor);
    // How far back playback picks up when it resumes after a pause (not after
    // Stop, nor after a seek made while paused); 0: where it paused.
    void setBackstep(qlonglong ms);
    double playbackSpeed() const;
    // The output used from now on; a running stream moves to it.
    void setOutputDevice(const QAudioDevice &device);

    // Edits of [start, end) ms on channel -1 (both), 0 or 1; each is one undo step.
    void applySilence(qlonglong start, qlonglong end, int channel);
    void applyTone(double frequencyHz, qlonglong start, qlonglong end, int channel);
    void applyNormalize(qlonglong start, qlonglong end, int channel, double targetDbfs);
    void applyTrimPeaks(double ratio, qlonglong start, qlonglong end, int channel);
    void undo();
    void redo();
    bool canUndo() const { return history.undoCount() > 0; }
    bool canRedo() const { return history.redoCount() > 0; }

    // Writes the store, edits included, as 16-bit PCM WAV with INFO tags
    // ("Title", "Engineer", "Comment") and, when the start time is known, a
    // Broadcast Wave extension carrying it; an existing file stays whole on failure.
    WavSaveResult saveWav(const QString &path, const QMap<QString, QString> &tags) const;

    bool isLoading() const { return loading; }
    const QByteArray &samples() const { return store; }
    int sampleRate() const { return rate; }
    int channelCount() const { return channels; }
    int bitsPerSample() const { return bits; }
    qlonglong startTimeOfDay() const { return startTimeOfDayMs; }
    // A start time the user gives a recording that carries none. It holds
    // until another recording is loaded; a rescan of the file keeps it.
    void setStartTimeOfDay(qlonglong ms)
    {
        startTimeOfDayMs = ms;
        startTimeByHand = true;
    }
    QString filePath() const { return sourceFile.fileName(); }

public slots:
    void refreshFormatInfo();

private slots:
    void handleStateChanged(QAudio::State state);

signals:
    void positionChanged(qlonglong ms);
    void loadingStateChanged(bool isLoading);
    // A load succeeded: the recording at path has taken the old one's place.
    // Its format report, lists, metadata and markers follow.
    void recordingReplaced(QString path);
    void waveformDataReady(QList<double> l, QList<double> r);
    void metadataReady(QMap<QString, QString> meta);
    void markersReady(QList<Marker> markers);
    void formatDataReady(QString info);
    // `reason`: the system's or the decoder's own words, when there are any.
    void errorMessage(QString msg, QString reason = QString());
    void playbackStopped();
    // The sound server went away under the stream; the next play reconnects.
    void outputLost();
    void debugMessage(QString msg);
    // Share of a long load done, in percent; -1 while the total is unknown.
    void loadProgressChanged(int percent);

private:
    // A recording being loaded: built beside the current one, which stays
    // loaded (and may keep playing) until this one is complete.
    struct Incoming
    {
        QString path;
        QByteArray store;
        int rate = 44100;
        int channels = 2;
        int bits = 16;
        qlonglong startTimeOfDayMs = 0;
        QString formatReport;
        QMap<QString, QString> tags;
        QList<Marker> markers;
        QString decodeError; // the decoder's reason when it gave up
    };

    bool decodeWithUniversalDecoder(Incoming &incoming, bool withSummary);
    void applyScan(Incoming &incoming, const ScanResult &scan);
    bool finishLoad(Incoming &&incoming);
    bool failLoad(const QString &message, const QString &reason = QString());
    void generateWaveformData();
    void refreshWaveformData(qint64 byteOffset, qint64 byteLength);
    void updateDuration();
    static qlonglong durationOf(qint64 storeBytes, int rate, int channels, int bits);
    PcmLayout pcm() const { return {rate, channels, channels * (bits / 8)}; }
    void applyEdit(qlonglong start, qlonglong end, int channel,
                   const std::function<EditResult(QByteArray &, const EditRegion &)> &edit);
    void setupPlayback();
    void openStream();
    void releaseStream();
    void startStream(bool fresh = true);
    QIODevice *streamSource() const;
    void moveStreamTo(const QAudioDevice &device);
    void onOutputsChanged();
    // Falls back to the default output when the chosen one is gone.
    bool dropGoneDevice();
    qint64 byteRate() const;
    void onPositionTick();
    void handleUnderrun();
    void handleOutputLost();

    QByteArray store;
    int rate = 44100;
    int channels = 2;
    int bits = 16;
    qlonglong durationMs = 0;
    qlonglong startTimeOfDayMs = 0;
    bool startTimeByHand = false;
    QFile sourceFile;

    bool loading = false;
    QString decoderSummary;          // format report of a file read through the decoder
    QPointer<QEventLoop> decodeLoop; // the nested loop of a running decode
    EditHistory history;
    PeakLists peaks; // the lists last sent, patched after edits

    PlaybackReader *reader = nullptr; // pulls from the store, applies the settings
    QAudioSink *sink = nullptr;       // the output stream; null when none exists
    OutputConverter *converter = nullptr; // between reader and stream when the output refused the file's format
    QAudioDevice chosenDevice;        // null: the system's default output
    QTimer *positionTimer = nullptr;  // reports the position while playing
    qlonglong backstepMs = 0;
    bool backstepArmed = false; // paused, and no seek since
    qlonglong pausedAtMs = 0;   // the heard position when the stream was suspended
    int reportsSinceDeviceCheck = 0;
    int underruns = 0;     // in this playback; logged once, counted at its end
    int ticksStarved = -1; // reports since the stream went idle with data left; -1 when it has not
    int starvedRestarts = 0; // restarts of a starved stream since it last moved
};
