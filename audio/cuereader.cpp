#include "audio/cuereader.h"

#include "audio/bytecursor.h"
#include "audio/riff.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace {

using namespace riff;

// "cue ": a count, then fixed-size points; offsets from the start of the data.
constexpr qint64 kCueCountSize = 4;
constexpr qint64 kCuePointSize = 24;
constexpr qint64 kCuePointIdOffset = 0;
constexpr qint64 kCuePointSampleOffset = 20;

// LIST/adtl entries ("labl", "note", "ltxt"): a cue point id first.
constexpr qint64 kListTypeSize = 4;
constexpr qint64 kEntryIdSize = 4;
constexpr qint64 kLtxtLengthOffset = 4; // sample length, after the id

struct Chunk
{
    QByteArrayView id;
    qint64 dataStart = 0;
    QByteArrayView data; // clipped to the bytes present
    qint64 next = 0;     // where the following chunk starts
};

// The chunk whose header lies at `at`, when the header fits.
std::optional<Chunk> chunkAt(const ByteCursor &bytes, qint64 at)
{
    if (!bytes.has(at, kChunkHeaderSize))
        return std::nullopt;
    const quint32 size = *bytes.u32At(at + kChunkSizeOffset);
    Chunk chunk;
    chunk.id = bytes.viewAt(at, kChunkIdSize);
    chunk.dataStart = at + kChunkHeaderSize;
    chunk.data = bytes.viewAt(chunk.dataStart, qMin<qint64>(size, bytes.size() - chunk.dataStart));
    // Odd-sized chunks are followed by a pad byte.
    chunk.next = chunk.dataStart + qint64(size) + (size % 2);
    return chunk;
}

QString entryText(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

struct AssociatedData
{
    QHash<quint32, QString> labels;
    QHash<quint32, QString> notes;
    QHash<quint32, quint32> lengths; // samples
};

void readAdtl(QByteArrayView list, AssociatedData &out)
{
    const ByteCursor bytes(list);
    qint64 at = kListTypeSize;
    while (const auto entry = chunkAt(bytes, at)) {
        at = entry->next;
        const ByteCursor data(entry->data);
        const auto id = data.u32At(0);
        if (!id)
            continue;
        // The first entry of a kind for a cue point wins.
        if (entry->id == "labl") {
            if (!out.labels.contains(*id))
                out.labels.insert(*id, entryText(entry->data.sliced(kEntryIdSize)));
        } else if (entry->id == "note") {
            if (!out.notes.contains(*id))
                out.notes.insert(*id, entryText(entry->data.sliced(kEntryIdSize)));
        } else if (entry->id == "ltxt") {
            if (const auto length = data.u32At(kLtxtLengthOffset); length && !out.lengths.contains(*id))
                out.lengths.insert(*id, *length);
        }
    }
}

qlonglong samplesToMs(qint64 samples, quint32 rate)
{
    return samples * 1000 / rate;
}

} // namespace

QList<Marker> readCueMarkers(QByteArrayView wav)
{
    const ByteCursor file(wav);
    quint32 rate = 0;
    bool seenData = false;
    std::optional<QByteArrayView> cues;
    AssociatedData associated;

    qint64 at = kFirstChunk;
    while (const auto chunk = chunkAt(file, at)) {
        const qint64 chunkStart = at;
        at = chunk->next;
        if (chunk->id == "fmt " && !seenData) {
            if (const auto value = file.u32At(chunkStart + kFmtRateOffset))
                rate = *value;
        } else if (chunk->id == "data") {
            seenData = true;
            // A size of 0 means the samples run to the end of the file.
            if (chunk->data.isEmpty())
                break;
        } else if (chunk->id == "cue " && !cues) {
            cues = chunk->data;
        } else if (chunk->id == "LIST" && chunk->data.startsWith("adtl")) {
            readAdtl(chunk->data, associated);
        }
    }
    if (!cues || rate == 0)
        return {};

    const ByteCursor cueData(*cues);
    const quint32 declared = cueData.u32At(0).value_or(0);
    const qint64 fitting = qMax<qint64>(0, cueData.size() - kCueCountSize) / kCuePointSize;
    const qint64 count = qMin<qint64>(declared, fitting);

    QList<Marker> markers;
    markers.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 point = kCueCountSize + i * kCuePointSize;
        const quint32 id = *cueData.u32At(point + kCuePointIdOffset);
        const qint64 sample = *cueData.u32At(point + kCuePointSampleOffset);
        Marker m;
        m.start = samplesToMs(sample, rate);
        m.end = associated.lengths.contains(id) ? samplesToMs(sample + associated.lengths.value(id), rate)
                                                : m.start;
        m.label = associated.labels.value(id);
        m.note = associated.notes.value(id);
        m.channel = -1;
        markers.append(m);
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const Marker &a, const Marker &b) { return a.start < b.start; });
    return markers;
}
