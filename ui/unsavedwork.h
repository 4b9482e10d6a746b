#pragma once

#include <QStringList>

// What would be lost if the window let the current work go now.
struct UnsavedWork
{
    int transcriptRows = 0; // rows of a transcript changed since its last export or import
    bool caseDetails = false;
    bool audioEdits = false;

    bool any() const { return transcriptRows > 0 || caseDetails || audioEdits; }
    // One line each, as the question box lists them: "12 transcript rows not exported".
    QStringList lines() const;
};
