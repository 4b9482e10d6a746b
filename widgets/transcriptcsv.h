#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include "widgets/marker.h"

// The transcript as CSV (RFC 4180): the header "Start_Time,End_Time,Label,Note,Channel",
// then one record per marker. Label and note are always quoted, with quotes
// doubled, so commas, quotes and line breaks inside them come back intact.

// What reading a transcript file gave: the rows, in file order, and the
// records left out.
struct TranscriptCsv
{
    enum class Skip {
        Header,       // a line starting with "Start_Time"
        TooFewFields, // fewer than four fields (a blank line has one)
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
};

// UTF-8 without byte-order mark, CRLF after every record; an empty list
// gives the header alone. Times are formatTime texts, the channel a number.
QByteArray encodeTranscriptCsv(const QList<Marker> &markers);

// Reads our own files losslessly and tolerates others:
// - a byte-order mark is ignored; a file that is not UTF-8 is read as
//   Windows-1252, as spreadsheets save it;
// - records end at LF or CRLF outside quotes; every line starting with
//   "Start_Time" is skipped whole;
// - files of the old exporter, which wrapped label and note in quotes without
//   doubling the quotes inside, keep their label and note;
// - times ("h:mm:ss.zzz", any number of hour digits, optional minus sign) and
//   the channel (-1, 0, 1) that do not parse read as 0, 0 and -1;
// - fields past the fifth are ignored.
TranscriptCsv decodeTranscriptCsv(QByteArrayView bytes);
