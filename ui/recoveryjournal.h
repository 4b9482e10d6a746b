#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "ui/metadatapane.h"
#include "widgets/marker.h"

// One thing the user did to the audio. Undo and redo carry no region and no
// parameter; they stay in the list so that replaying it in order on the same
// source leaves the same samples and the same undo and redo steps.
struct JournalEdit
{
    enum class Op { Silence, Tone, Normalize, TrimPeaks, Undo, Redo };

    Op op = Op::Silence;
    qlonglong startMs = 0;
    qlonglong endMs = 0;
    int channel = -1; // 0 left, 1 right, -1 both
    // Tone: frequency in Hz; Normalize: target in dBFS; TrimPeaks: ratio of
    // full scale; unused by the others.
    double parameter = 0.0;

    friend bool operator==(const JournalEdit &a, const JournalEdit &b)
    {
        return a.op == b.op && a.startMs == b.startMs && a.endMs == b.endMs && a.channel == b.channel
            && a.parameter == b.parameter;
    }
};

// Everything needed to rebuild unsaved work after the program died: the
// recording it was done on, the edits, the transcript rows, the case details
// and the chosen time source.
struct RecoveryJournal
{
    static constexpr int kVersion = 1;

    int version = kVersion;
    QString recordingPath;
    qint64 recordingSize = 0;
    QDateTime recordingModified; // UTC, ms
    QList<JournalEdit> edits;
    QList<Marker> rows;
    CaseDetails details;
    int timeSourceIndex = 0;
    QString timeSourceText;
    qlonglong typedStartTimeMs = -1; // a start time of day the user typed; -1 when none
    QStringList auditNotes;          // typed into the audit log and in no PDF report yet
    QDateTime written; // UTC, ms

    friend bool operator==(const RecoveryJournal &a, const RecoveryJournal &b);
};

struct JournalDecode
{
    bool ok = false;
    RecoveryJournal journal;
    QString error; // why it was refused, for the event log
};

// Indented UTF-8 JSON a person can read, marked with "format" and "version".
QByteArray encodeJournal(const RecoveryJournal &journal);

// Refuses anything encodeJournal could not have written: another format or
// version, a missing or mistyped field, a negative time or size, a channel
// other than -1, 0 or 1, an unknown operation. Unknown extra keys are
// ignored. Never trusts the input's sizes or nesting.
JournalDecode decodeJournal(QByteArrayView bytes);

// "Recover unsaved work on <file> from <date time>? (12 rows, 3 edits)",
// with the file name without its folder and the time written in local time.
QString recoveryQuestion(const RecoveryJournal &journal);
