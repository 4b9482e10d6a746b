#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

#include "widgets/marker.h"

// The transcript as CSV (RFC 4180): the header "Start_Time,End_Time,Label,Note,Channel",
// then one record per marker. Label and note are always quoted, with quotes
// doubled, so commas, quotes and line breaks inside them come back intact.

// What reading a transcript file gave: the rows, in file order, and the
// records left out.
struct TranscriptCsv
{
    enum class Skip {
        Header,       // a line starting with "Start_Time", or naming the columns
        Blank,        // no text in any field
        TooFewFields, // read by position, fewer than four fields
        NoStartTime,  // start time empty in a file that has times
        BadStartTime, // start time that is not a time
        BadEndTime,   // end time that is not a time
    };
    struct Skipped
    {
        qsizetype line = 0; // 1-based line on which the record starts
        Skip reason = Skip::TooFewFields;

        friend bool operator==(const Skipped &a, const Skipped &b)
        {
            return a.line == b.line && a.reason == b.reason;
        }
    };

    QList<Marker> markers;
    QList<Skipped> skipped;

    // The skipped records that held text: headers and blank lines lose nothing.
    QList<Skipped> lost() const;
};

// UTF-8 without byte-order mark, CRLF after every record; an empty list
// gives the header alone. Times are formatTime texts, the channel a number.
QByteArray encodeTranscriptCsv(const QList<Marker> &markers);

// Reads our own files losslessly and tolerates others, but never turns a
// record it cannot read into a wrong row: such a record is skipped and listed.
// - UTF-16 (LE or BE) with its byte-order mark, as spreadsheets save
//   "Unicode text", is read as UTF-16; otherwise a UTF-8 mark is ignored and
//   a file that is not UTF-8 is read as Windows-1252;
// - records end at LF, CRLF or a lone CR (older Mac spreadsheets) outside
//   quotes;
// - a first record whose fields all name columns (case, spaces and
//   underscores aside: "start time", "LABEL") is a header, and the records
//   after it are read by those names, missing trailing fields being empty;
//   without one, fields are read by position and a record needs four;
// - every line starting with "Start_Time" is skipped whole (two exports
//   joined), and sets the columns when it names them;
// - files of the old exporter, which wrapped label and note in quotes without
//   doubling the quotes inside, keep their label and note;
// - times are "h:mm:ss" with an optional fraction of 1 to 9 digits (".4" is
//   400 ms, rounded to the millisecond), or "m:ss" with a fraction; any
//   number of hour (or minute) digits, optional minus sign. A record whose
//   time is not one of these is skipped;
// - an empty end time makes the row a point at its start; an empty start time
//   skips the record, unless no record of the file has a time: a file of
//   labels only (a list of speakers, say) then gives rows at 0, as a list
//   to be timed by hand;
// - a channel other than -1, 0 or 1 reads as -1 (both);
// - fields past the known columns are ignored.
TranscriptCsv decodeTranscriptCsv(QByteArrayView bytes);

// What an import did, in one line for the user and the audit log: rows read,
// skipped records that held text with the first few line numbers and why,
// and the rows that start after `recordingEndMs` when a recording is loaded.
QString importSummary(const TranscriptCsv &read, std::optional<qlonglong> recordingEndMs);
