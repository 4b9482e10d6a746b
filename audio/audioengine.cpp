#include "audio/audioengine.h"

#include "audio/audiodecoder.h"
#include "audio/cuereader.h"
#include "audio/filebytes.h"
#include "audio/oggscanner.h"
#include "audio/peaklists.h"
#include "audio/playbackreader.h"
#include "audio/scanresult.h"
#include "audio/wavreader.h"
#include "audio/wavscanner.h"

#include <QAudioSink>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString displayName(const QString &path)
{
    return QFileInfo(path).fileName();
}

// The test the whole-file reader makes, without reading: a regular file
// that opens (a FIFO or device would block the decoder or never end).
// Why the file cannot be read; empty when it can.
QString unreadableReason(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such file or directory");
    if (!info.isFile())
        return QStringLiteral("Not a regular file");
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
}

} // namespace

AudioEngine::AudioEngine(QObject *parent)
    : QObject(parent)
{
    registerMarkerMetaTypes();
    setupPlayback();
}

AudioEngine::~AudioEngine()
{
    // Destroyed while a decode runs (the window closed meanwhile): end the
    // nested loop so the load unwinds without touching this object.
    if (decodeLoop)
        decodeLoop->quit();
    releaseStream();
    // A sink's destructor serves events; let it run while this object is
    // whole, not from QObject's child cleanup (released sinks included).
    // Released sinks still wait for their deferred deletion, which those
    // events would carry out a second time: they go off that queue first.
    const QList<QAudioSink *> sinks = findChildren<QAudioSink *>(Qt::FindDirectChildrenOnly);
    for (QAudioSink *sinkToDelete : sinks)
        QCoreApplication::removePostedEvents(sinkToDelete, QEvent::DeferredDelete);
    qDeleteAll(sinks);
    clearAudio();
}

void AudioEngine::clearAudio()
{
    store.clear();
    store.squeeze();
    history.clear();
    peaks = PeakLists();
    durationMs = 0;
    startTimeOfDayMs = 0;
    startTimeByHand = false;
}

bool AudioEngine::loadFile(const QString &path)
{
    if (loading)
        return false; // one load at a time; the window disables Open meanwhile
    // The current recording stays loaded (and playing) until the new one is
    // complete: a file that fails to load must not cost the work on the old.
    Incoming incoming;
    incoming.path = path;

    loading = true;
    emit loadingStateChanged(true);
    emit debugMessage(QStringLiteral("AudioEngine: Load initiated: ") + path);

    const QString suffix = QFileInfo(path).suffix().toLower();
    bool wave = suffix == QLatin1String("wav") || suffix == QLatin1String("bwf");
    const bool ogg = suffix == QLatin1String("ogg");
    bool decode = true;
    if (wave || ogg) {
        FileBytes whole = readWholeFile(path);
        if (!whole.ok)
            return failLoad(QStringLiteral("Could not open file."), whole.error);
        QByteArray bytes = std::move(whole.bytes);
        // The name can lie (an MP3 renamed to .wav): what the bytes hold decides.
        wave = wave && readsAsWav(bytes);
        if (ogg) {
            applyScan(incoming, scanOggMetadata(bytes, displayName(path)));
        } else if (wave) {
            applyScan(incoming, scanWavMetadata(bytes, displayName(path)));
            incoming.markers = readCueMarkers(bytes);
            WavReadResult wav = readWav(std::move(bytes));
            for (const QString &note : std::as_const(wav.notes))
                emit debugMessage(note);
            incoming.tags = wav.infoTags;
            if (wav.status == WavReadResult::Status::Ok) {
                incoming.store = std::move(wav.samples);
                incoming.rate = wav.sampleRate;
                incoming.channels = wav.channels;
                incoming.bits = wav.bitsPerSample;
                decode = false;
            } else if (wav.status != WavReadResult::Status::NeedsDecoder) {
                return failLoad(wavErrorText(wav.status));
            }
            // A compressed codec inside a WAV (A-law, ADPCM, ...): the scanner's
            // report stays and the decoder supplies the samples.
        }
    } else if (const QString reason = unreadableReason(path); !reason.isEmpty()) {
        // Only the decoder reads these; reading them whole first would cost
        // the file's size in memory and time for nothing.
        return failLoad(QStringLiteral("Could not open file."), reason);
    }

    if (decode) {
        const QPointer<AudioEngine> self(this);
        const bool decoded = decodeWithUniversalDecoder(incoming, !wave && !ogg);
        if (!self)
            return false; // destroyed while decoding: nothing left to report to
        if (!decoded)
            return failLoad(QStringLiteral("Failed to decode audio file."), incoming.decodeError);
    }
    return finishLoad(std::move(incoming));
}

bool AudioEngine::decodeWithUniversalDecoder(Incoming &incoming, bool withSummary)
{
    emit debugMessage(QStringLiteral("AudioEngine: Using Universal Decoder for ") + displayName(incoming.path));
    QByteArray &target = incoming.store;
    target.clear();

    AudioDecoder decoder;
    QEventLoop loop;
    bool done = false;
    connect(&decoder, &AudioDecoder::samplesAppended, this, [&incoming](int sampleRate, int channelCount) {
        incoming.rate = sampleRate;
        incoming.channels = channelCount;
        incoming.bits = 16;
    });
    connect(&decoder, &AudioDecoder::progressChanged, this, [this](qint64 doneSoFar, qint64 total) {
        emit loadProgressChanged(total > 0 ? int(std::clamp<qint64>(doneSoFar * 100 / total, 0, 100)) : -1);
    });
    connect(&decoder, &AudioDecoder::finished, &loop, [&]() {
        done = true;
        loop.quit();
    });
    connect(&decoder, &AudioDecoder::error, this, [&]() {
        incoming.decodeError = decoder.errorString();
        emit debugMessage(QStringLiteral("Decoder Error: ") + incoming.decodeError);
        done = true;
        loop.quit();
    });

    decoder.setSource(incoming.path);
    decoder.setOutput(&target);
    emit loadProgressChanged(-1);
    decoder.start();
    const QPointer<AudioEngine> self(this);
    decodeLoop = &loop;
    if (!done)
        loop.exec();
    if (!self)
        return false; // destroyed while decoding
    decodeLoop = nullptr;
    decoder.stop();

    if (target.isEmpty())
        return false;
    // Give back a reserve the decoder's estimate overshot by much; a small
    // slack is not worth copying the whole store for.
    if (target.capacity() - target.size() > target.size() / 16)
        target.squeeze();

    if (withSummary) {
        const qlonglong ms = durationOf(target.size(), incoming.rate, incoming.channels, incoming.bits);
        incoming.formatReport = QStringList{
            QStringLiteral("=== General ==="),
            QStringLiteral("Filename: ") + displayName(incoming.path),
            QStringLiteral("Container: ") + QFileInfo(incoming.path).suffix().toUpper(),
            QString(),
            QStringLiteral("=== Audio Track ==="),
            QStringLiteral("Format: Decoded PCM (16-bit)"),
            QStringLiteral("Channels: %1").arg(incoming.channels),
            QStringLiteral("Sample Rate: %1 Hz").arg(incoming.rate),
            QStringLiteral("Duration: %1 s").arg(QString::number(ms / 1000.0, 'f', 3)),
        }.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return true;
}

void AudioEngine::applyScan(Incoming &incoming, const ScanResult &scan)
{
    incoming.startTimeOfDayMs = scan.startTimeAfter(incoming.startTimeOfDayMs);
    if (scan.hasReport)
        incoming.formatReport = scan.report;
}

qlonglong AudioEngine::durationOf(qint64 storeBytes, int rate, int channels, int bits)
{
    const PcmLayout layout{rate, channels, channels * (bits / 8)};
    return layout.msAtFrame(layout.framesIn(storeBytes));
}

void AudioEngine::updateDuration()
{
    durationMs = durationOf(store.size(), rate, channels, bits);
}

bool AudioEngine::finishLoad(Incoming &&incoming)
{
    // The swap: only now does the old recording go.
    stop();
    history.clear();
    store = std::move(incoming.store);
    rate = incoming.rate;
    channels = incoming.channels;
    bits = incoming.bits;
    startTimeOfDayMs = incoming.startTimeOfDayMs;
    startTimeByHand = false;
    sourceFile.setFileName(incoming.path);
    decoderSummary = incoming.formatReport;
    updateDuration();
    emit recordingReplaced(incoming.path);
    if (!incoming.formatReport.isEmpty())
        emit formatDataReady(incoming.formatReport);

    emit debugMessage(QStringLiteral("AudioEngine: Hardware %1 Hz").arg(rate));
    reader->setStore(&store, channels, rate);
    reader->open(QIODevice::ReadOnly);
    openStream();
    generateWaveformData();
    loading = false;
    emit loadingStateChanged(false);
    emit debugMessage(QStringLiteral("AudioEngine: Load Complete."));
    history.recordLoad(store.size());

    QMap<QString, QString> meta = incoming.tags;
    if (startTimeOfDayMs > 0)
        meta.insert(QStringLiteral("BWF_StartTime"), QString::number(startTimeOfDayMs));
    emit metadataReady(meta);
    // Cue points a recorder or editor left in the file become transcript rows.
    if (!incoming.markers.isEmpty())
        emit markersReady(incoming.markers);
    return true;
}

bool AudioEngine::failLoad(const QString &message, const QString &reason)
{
    // The recording that was loaded before stays as it was.
    if (!message.isEmpty())
        emit errorMessage(message, reason);
    loading = false;
    emit loadingStateChanged(false);
    return false;
}

void AudioEngine::generateWaveformData()
{
    peaks = buildPeakLists(store, channels);
    emit waveformDataReady(peaks.left, peaks.right);
}

void AudioEngine::refreshWaveformData(qint64 byteOffset, qint64 byteLength)
{
    refreshPeakLists(peaks, store, channels, byteOffset, byteLength);
    emit waveformDataReady(peaks.left, peaks.right);
}

WavSaveResult AudioEngine::saveWav(const QString &path, const QMap<QString, QString> &tags) const
{
    return ::saveWav(path, store, rate, channels, tags,
                     startTimeOfDayMs > 0 || startTimeByHand ? std::optional<qlonglong>(startTimeOfDayMs) : std::nullopt);
}

void AudioEngine::refreshFormatInfo()
{
    if (store.isEmpty()) {
        emit formatDataReady(QStringLiteral("No audio loaded."));
        return;
    }
    const QString path = sourceFile.fileName();
    QString name = displayName(path);
    if (name.isEmpty())
        name = QStringLiteral("Unknown File");
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool wave = suffix == QLatin1String("wav") || suffix == QLatin1String("bwf");
    const bool ogg = suffix == QLatin1String("ogg");
    if (!wave && !ogg) {
        // Only the decoder knows these formats; show its summary again.
        emit formatDataReady(decoderSummary);
        return;
    }

    const FileBytes whole = readWholeFile(path);
    if (!whole.ok) {
        emit formatDataReady(QStringLiteral("Could not read file for metadata scan."));
        return;
    }
    const QByteArray &bytes = whole.bytes;
    if (wave && !readsAsWav(bytes)) {
        emit formatDataReady(decoderSummary);
        return;
    }
    const ScanResult scan = ogg ? scanOggMetadata(bytes, name) : scanWavMetadata(bytes, name);
    if (!startTimeByHand)
        startTimeOfDayMs = scan.startTimeAfter(startTimeOfDayMs);
    if (scan.hasReport)
        emit formatDataReady(scan.report);
    emit debugMessage(QStringLiteral("Metadata Refresh: Scanned raw file from disk."));
}
