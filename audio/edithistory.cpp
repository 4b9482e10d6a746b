#include "audio/edithistory.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Swaps two byte ranges a cache-sized block at a time: memcpy moves whole
// words, several times faster than swapping byte by byte.
void swapBytes(char *a, char *b, qint64 length)
{
    constexpr qint64 kBlock = 16 * 1024;
    char block[kBlock];
    for (qint64 done = 0; done < length; done += kBlock) {
        const auto n = size_t(std::min(kBlock, length - done));
        std::memcpy(block, a + done, n);
        std::memcpy(a + done, b + done, n);
        std::memcpy(b + done, block, n);
    }
}

} // namespace

void EditHistory::clear()
{
    undoSteps.clear();
    redoSteps.clear();
    spare.clear();
}

void EditHistory::recordLoad()
{
    clear();
    undoSteps.append(Step{});
}

void EditHistory::recordEdit(const QByteArray &store, qint64 byteOffset, qint64 byteLength)
{
    const qint64 offset = std::clamp<qint64>(byteOffset, 0, store.size());
    const qint64 length = std::clamp<qint64>(byteLength, 0, store.size() - offset);
    // Freed first, so that their buffers can take this edit's bytes.
    for (Step &step : redoSteps)
        keepBuffer(std::move(step.bytes));
    redoSteps.clear();
    if (undoSteps.size() >= kMaxSteps)
        keepBuffer(std::move(undoSteps.takeFirst().bytes));
    // A copy of its own: the edit that follows writes the store in place.
    QByteArray bytes = bufferFor(length);
    std::memcpy(bytes.data(), store.constData() + offset, size_t(length));
    undoSteps.append(Step{offset, std::move(bytes)});
}

void EditHistory::keepBuffer(QByteArray &&bytes)
{
    if (bytes.capacity() > 0)
        spare.append(std::move(bytes));
}

// The spare buffer that fits with the least room to spare. When none fits,
// a new one of the exact size takes the place of the largest spare.
QByteArray EditHistory::bufferFor(qint64 length)
{
    qsizetype fitting = -1;
    qsizetype largest = -1;
    for (qsizetype i = 0; i < spare.size(); ++i) {
        const qint64 room = spare[i].capacity();
        if (room >= length && (fitting < 0 || room < spare[fitting].capacity()))
            fitting = i;
        if (largest < 0 || room > spare[largest].capacity())
            largest = i;
    }
    if (fitting < 0) {
        if (largest >= 0)
            spare.removeAt(largest);
        QByteArray fresh(length, Qt::Uninitialized);
        // One call faults the new pages in; singly, each 4 KB costs a fault.
        const quintptr page = quintptr(sysconf(_SC_PAGESIZE));
        const quintptr from = (quintptr(fresh.data()) + page - 1) & ~(page - 1);
        const quintptr to = (quintptr(fresh.data()) + quintptr(length)) & ~(page - 1);
        if (to > from)
            madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
        return fresh;
    }
    QByteArray bytes = spare.takeAt(fitting);
    bytes.resize(length);
    return bytes;
}

HistoryMove EditHistory::undo(QByteArray &store)
{
    return take(store, undoSteps, redoSteps, QStringLiteral("Action: Undo"));
}

HistoryMove EditHistory::redo(QByteArray &store)
{
    return take(store, redoSteps, undoSteps, QStringLiteral("Action: Redo"));
}

qint64 EditHistory::heldBytes() const
{
    qint64 total = 0;
    for (const QList<Step> *steps : {&undoSteps, &redoSteps})
        for (const Step &step : *steps)
            total += step.bytes.size();
    return total;
}

HistoryMove EditHistory::take(QByteArray &store, QList<Step> &from, QList<Step> &to, const QString &logLine)
{
    if (from.isEmpty())
        return {};
    Step step = from.takeLast();
    if (step.bytes.size() > store.size() - step.offset) {
        clear();
        return {};
    }
    // After the swap the step holds the bytes of the state just left, which
    // is what the opposite move needs. A step without bytes (a load's)
    // leaves the store as it is, shared or not.
    if (!step.bytes.isEmpty())
        swapBytes(step.bytes.data(), store.data() + step.offset, step.bytes.size());
    const HistoryMove move{true, step.offset, step.bytes.size(), logLine};
    to.append(std::move(step));
    return move;
}
