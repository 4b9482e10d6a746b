// Edits of the sample store over a region, and their undo and redo. Each
// step keeps only the bytes its region covers, so long recordings edit as
// quickly as short ones.

#include "audio/audioengine.h"

#include "audio/editops.h"
#include "audio/peaklists.h"

void AudioEngine::applyEdit(qlonglong start, qlonglong end, int channel,
                            const std::function<EditResult(QByteArray &, const EditRegion &)> &edit)
{
    if (loading)
        return;
    const EditRegion region = mapEditRegion(store.size(), rate, channels, start, end, channel);
    if (!region.acts)
        return;
    history.recordEdit(store, region.byteOffset(), region.byteLength());
    // The reader plays these very bytes: what is heard changes with the next read.
    const EditResult result = edit(store, region);
    if (!result.written)
        return;
    refreshWaveformData(region.byteOffset(), region.byteLength());
    emit debugMessage(result.logLine);
}

void AudioEngine::applySilence(qlonglong start, qlonglong end, int channel)
{
    applyEdit(start, end, channel, silenceRegion);
}

void AudioEngine::applyTone(double frequencyHz, qlonglong start, qlonglong end, int channel)
{
    applyEdit(start, end, channel, [frequencyHz](QByteArray &samples, const EditRegion &region) {
        return toneRegion(samples, region, frequencyHz);
    });
}

void AudioEngine::applyNormalize(qlonglong start, qlonglong end, int channel, double targetDbfs)
{
    applyEdit(start, end, channel, [targetDbfs](QByteArray &samples, const EditRegion &region) {
        return normalizeRegion(samples, region, targetDbfs);
    });
}

void AudioEngine::applyTrimPeaks(double ratio, qlonglong start, qlonglong end, int channel)
{
    applyEdit(start, end, channel, [ratio](QByteArray &samples, const EditRegion &region) {
        return trimPeaksRegion(samples, region, ratio);
    });
}

void AudioEngine::undo()
{
    if (loading)
        return;
    const HistoryMove move = history.undo(store);
    if (!move.acted)
        return;
    refreshWaveformData(move.byteOffset, move.byteLength);
    emit debugMessage(move.logLine);
}

void AudioEngine::redo()
{
    if (loading)
        return;
    const HistoryMove move = history.redo(store);
    if (!move.acted)
        return;
    refreshWaveformData(move.byteOffset, move.byteLength);
    emit debugMessage(move.logLine);
}
