#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One timed transcript row: a bookmark, a segment or a redaction entry.
// No rule ties start to end; a point bookmark has end == start.
struct Marker
{
    qlonglong start = 0; // ms from the beginning of the recording
    qlonglong end = 0;   // ms
    QString label;
    QString note;
    int channel = -1; // 0 left, 1 right, -1 both

    friend bool operator==(const Marker &a, const Marker &b)
    {
        return a.start == b.start && a.end == b.end && a.label == b.label && a.note == b.note
            && a.channel == b.channel;
    }
    friend bool operator!=(const Marker &a, const Marker &b) { return !(a == b); }
};

Q_DECLARE_METATYPE(Marker)

// Registers Marker and QList<Marker> by name, so that signals carrying them
// work across queued and string-based connections. Safe to call repeatedly;
// TranscriptionGrid's constructor calls it.
void registerMarkerMetaTypes();

// Text of the grid's "Ch" column: 0 -> "L", 1 -> "R", anything else -> "Stereo".
QString channelText(int channel);

// Reverse of channelText: exactly "L" -> 0, exactly "R" -> 1, anything else
// (including "l", "Left" and "Stereo") -> -1.
int channelFromText(const QString &text);
