#include "audio/cuereader.h"

#include "audio/pcmlayout.h"
#include "audio/riff.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using namespace riff;

// "cue ": a count, then fixed-size points; offsets from the start of the body.
constexpr qint64 kCueCountSize = 4;
constexpr qint64 kCuePointSize = 24;
constexpr qint64 kCuePointIdOffset = 0;
constexpr qint64 kCuePointSampleOffset = 20;

// LIST/adtl entries ("labl", "note", "ltxt"): a cue point id first.
constexpr qint64 kEntryIdSize = 4;
constexpr qint64 kLtxtLengthOffset = 4; // sample length, after the id

struct AssociatedData
{
    QHash<quint32, QString> labels;
    QHash<quint32, QString> notes;
    QHash<quint32, quint32> lengths; // frames
};

void readAdtl(QByteArrayView list, AssociatedData &out)
{
    ChunkWalker entries(list, kListTypeSize);
    while (const auto entry = entries.next()) {
        const ByteCursor body(entry->body);
        const auto id = body.u32At(kCuePointIdOffset);
        if (!id)
            continue;
        // The first entry of a kind for a cue point wins.
        if (entry->id == "labl") {
            if (!out.labels.contains(*id))
                out.labels.insert(*id, riff::text(entry->body.sliced(kEntryIdSize)));
        } else if (entry->id == "note") {
            if (!out.notes.contains(*id))
                out.notes.insert(*id, riff::text(entry->body.sliced(kEntryIdSize)));
        } else if (entry->id == "ltxt") {
            if (const auto length = body.u32At(kLtxtLengthOffset); length && !out.lengths.contains(*id))
                out.lengths.insert(*id, *length);
        }
    }
}

} // namespace

QList<Marker> readCueMarkers(QByteArrayView wav)
{
    std::optional<FmtFields> fmt;
    bool seenData = false;
    std::optional<QByteArrayView> cues;
    AssociatedData associated;

    ChunkWalker chunks(wav);
    while (const auto chunk = chunks.next()) {
        if (chunk->id == "fmt " && !seenData) {
            if (const auto fields = readFmt(chunk->body))
                fmt = fields;
        } else if (chunk->id == "data") {
            seenData = true;
        } else if (chunk->id == "cue " && !cues) {
            cues = chunk->body;
        } else if (chunk->id == "LIST" && chunk->body.startsWith("adtl")) {
            readAdtl(chunk->body, associated);
        }
    }
    if (!cues || !fmt || fmt->rate == 0 || fmt->rate > quint32(std::numeric_limits<int>::max()))
        return {};
    const PcmLayout layout{int(fmt->rate), fmt->channels, fmt->blockAlign};

    const ByteCursor cueData(*cues);
    const quint32 declared = cueData.u32At(0).value_or(0);
    const qint64 fitting = qMax<qint64>(0, cueData.size() - kCueCountSize) / kCuePointSize;
    const qint64 count = qMin<qint64>(declared, fitting);

    QList<Marker> markers;
    markers.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 point = kCueCountSize + i * kCuePointSize;
        const quint32 id = *cueData.u32At(point + kCuePointIdOffset);
        const qint64 frame = *cueData.u32At(point + kCuePointSampleOffset);
        Marker m;
        m.start = layout.msAtFrame(frame);
        m.end = associated.lengths.contains(id) ? layout.msAtFrame(frame + associated.lengths.value(id)) : m.start;
        m.label = associated.labels.value(id);
        m.note = associated.notes.value(id);
        m.channel = -1;
        markers.append(m);
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const Marker &a, const Marker &b) { return a.start < b.start; });
    return markers;
}
