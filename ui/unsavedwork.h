#pragma once

#include <QStringList>

// What would be lost if the window let the current work go now.
struct UnsavedWork
{
    int transcriptRows = 0; // rows of a transcript changed since its last export or import
    bool caseDetails = false;
    bool audioEdits = false;
    int auditNotes = 0; // notes typed into the audit log since its last PDF report

    bool any() const { return transcriptRows > 0 || caseDetails || audioEdits || auditNotes > 0; }
    // One line each, as the question box lists them: "12 transcript rows not exported".
    QStringList lines() const;
};
