#include "ui/auditedhistory.h"

void AuditedHistory::clear()
{
    undoSteps.clear();
    redoSteps.clear();
}

void AuditedHistory::recordLoad()
{
    clear();
    undoSteps.append(AuditedStep{});
}

void AuditedHistory::recordEdit(const AuditedStep &step)
{
    undoSteps.append(step);
    if (undoSteps.size() > kMaxSteps)
        undoSteps.removeFirst();
    redoSteps.clear();
}

AuditedStep *AuditedHistory::undo()
{
    return move(undoSteps, redoSteps);
}

AuditedStep *AuditedHistory::redo()
{
    return move(redoSteps, undoSteps);
}

AuditedStep *AuditedHistory::move(QList<AuditedStep> &from, QList<AuditedStep> &to)
{
    if (from.isEmpty())
        return nullptr;
    to.append(from.takeLast());
    return &to.last();
}
