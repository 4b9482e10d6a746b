#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The texts of the "Case Details" fields.
struct CaseDetails
{
    QString reference;
    QString location;
    QString operation;
    QString oic;
    QString transcriber;
    QString translator;
};

// The four fields a packed comment carries.
struct CommentFields
{
    QString location;
    QString operation;
    QString oic;
    QString translator;
};

// What a load's metadata map puts on screen.
struct MetadataDisplay
{
    QStringList paneLines;   // "key: value", in ascending key order
    QStringList timeSources; // "Track Timing", then "Real Time" when a start time is known
    int timeSourceIndex = 0; // the choice to select
    // From a non-empty "Title" and "Engineer"; without one, what was typed
    // in Reference and Transcriber stays.
    std::optional<QString> reference;
    std::optional<QString> transcriber;
    // From a non-empty "Comment"; without one, Location, Operation, OIC and
    // Translator keep their text.
    std::optional<CommentFields> commentFields;
};

inline constexpr int kRealTimeSourceIndex = 1;

// "Loc: A | Op: B | OIC: C | Trans: D", each piece only for a non-empty
// field. The separator follows every piece but the translator's, so a
// comment without a translator ends in " | ".
QString packCaseComment(const CaseDetails &details);

// The tags a save stores: "Title" and "Engineer" always, even when empty, and
// "Comment" when the packed comment is not empty.
QMap<QString, QString> caseDetailsTags(const CaseDetails &details);

// Reads a packed comment: pieces split at "|" and trimmed; the prefixes
// "Loc:", "Op:", "OIC:" and "Trans:" match case-sensitively, a later piece
// with the same prefix wins, and other pieces are ignored.
CommentFields unpackCaseComment(const QString &comment);

// The metadata pane, the time-source choices and the case fields for a
// loaded recording whose start time of day is startTimeOfDayMs (0: unknown).
MetadataDisplay metadataDisplay(const QMap<QString, QString> &meta, qlonglong startTimeOfDayMs);

// The clock's "HH:mm:ss.zzz" text at positionMs: the track time, or with
// realTime the time of day the moment was recorded, which wraps at midnight.
QString clockText(qlonglong positionMs, bool realTime, qlonglong startTimeOfDayMs);

// Where in the recording a time of day falls, for a recording started at
// startTimeOfDayMs: within a day of the start, so a recording that runs past
// midnight finds its morning times after its evening ones.
qlonglong positionAtTimeOfDay(qlonglong timeOfDayMs, qlonglong startTimeOfDayMs);
