#include "audio/edithistory.h"

#include <algorithm>
#include <cstring>

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
    // A deep copy: the edit that follows writes the store in place.
    undoSteps.append(Step{offset, QByteArray(store.constData() + offset, length)});
    if (undoSteps.size() > kMaxSteps)
        undoSteps.removeFirst();
    redoSteps.clear();
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
