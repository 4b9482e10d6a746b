#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include "audio/edithistory.h"
#include "widgets/marker.h"

// One undo step as the audit log and the transcript see it.
struct AuditedStep
{
    QString line;      // the edit's own audit line; empty for a load
    quint64 rowId = 0; // the transcript row the edit added, 0 for none
    // Where that row stood and what it held when an undo took it out;
    // rowIndex is -1 while the row is in the transcript (or gone for good).
    int rowIndex = -1;
    Marker row;
};

// Keeps, step for step, what each undo and redo step of the engine's history
// is: the same depth, the same moves, so that an undo can say which edit it
// took back and take back the transcript row that edit added.
class AuditedHistory
{
public:
    static constexpr int kMaxSteps = EditHistory::kMaxSteps;

    void clear();
    // A load finished: one step that changes nothing.
    void recordLoad();
    // A new edit: the newest undo step, the oldest dropped beyond kMaxSteps,
    // every redo step forgotten.
    void recordEdit(const AuditedStep &step);

    // Each moves the newest step to the other stack and returns it there
    // (valid until the next change), or nullptr when there was none.
    AuditedStep *undo();
    AuditedStep *redo();

private:
    static AuditedStep *move(QList<AuditedStep> &from, QList<AuditedStep> &to);

    QList<AuditedStep> undoSteps; // newest last
    QList<AuditedStep> redoSteps; // newest last
};
