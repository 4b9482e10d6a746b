#pragma once

#include <QString>
#include <QtGlobal>

// What a format scanner found in a file: the report for the "Format" page and
// what the file says about the recording's start time of day.
struct ScanResult
{
    enum class StartTime {
        Keep,  // leave the current start time (a time text that did not parse)
        Clear, // the file names no start time
        Set,   // startTimeOfDayMs is the new start time
    };

    bool hasReport = false; // false for a file too short to scan
    QString report;
    StartTime start = StartTime::Keep;
    qlonglong startTimeOfDayMs = 0; // ms since midnight, with Set

    // The start time to hold after this scan, given the one held before it.
    qlonglong startTimeAfter(qlonglong current) const
    {
        switch (start) {
        case StartTime::Keep:
            return current;
        case StartTime::Clear:
            return 0;
        case StartTime::Set:
            return startTimeOfDayMs;
        }
        return current;
    }
};
