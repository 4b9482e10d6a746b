#pragma once

#include "widgets/marker.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
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
    void stop();

    bool isLoading() const { return loading; }
    const QByteArray &samples() const { return store; }
    int sampleRate() const { return rate; }
    int channelCount() const { return channels; }
    int bitsPerSample() const { return bits; }
    qlonglong startTimeOfDay() const { return startTimeOfDayMs; }
    QString filePath() const { return sourceFile.fileName(); }

public slots:
    void refreshFormatInfo();

signals:
    void positionChanged(qlonglong ms);
    void loadingStateChanged(bool isLoading);
    void waveformDataReady(QList<double> l, QList<double> r);
    void metadataReady(QMap<QString, QString> meta);
    void markersReady(QList<Marker> markers);
    void formatDataReady(QString info);
    void errorMessage(QString msg);
    void playbackStopped();
    void debugMessage(QString msg);
    // Share of a long load done, in percent; -1 while the total is unknown.
    void loadProgressChanged(int percent);

private:
    bool decodeWithUniversalDecoder(const QString &path, bool withSummary);
    void applyScan(const ScanResult &scan);
    bool finishLoad();
    bool failLoad(const QString &message);
    void generateWaveformData();
    void updateDuration();

    QByteArray store;
    int rate = 44100;
    int channels = 2;
    int bits = 16;
    qlonglong durationMs = 0;
    qlonglong startTimeOfDayMs = 0;
    QFile sourceFile;

    bool loading = false;
    QMap<QString, QString> fileTags; // INFO tags of the loaded WAV
    QString decoderSummary;          // format report of a file read through the decoder
    QPointer<QEventLoop> decodeLoop; // the nested loop of a running decode
};
