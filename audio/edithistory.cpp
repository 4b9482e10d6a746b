#include "audio/edithistory.h"

#include <algorithm>
#include <cstring>
#include <system_error>


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
    collectPrepared();
    undoSteps.clear();
    redoSteps.clear();
    spare.clear();
    reserve = PageBuffer();
}

void EditHistory::recordLoad(qint64 storeBytes)
{
    clear();
    undoSteps.push_back(Step{});
    // An eighth: with it a loaded recording holds under 1.15 times its
    // store and 60 MB.
    const qint64 bytes = std::min(kMaxReserve, storeBytes / 8);
    if (!PageBuffer::kSplits || bytes <= 0)
        return;
    try {
        reserving = std::async(std::launch::async, [bytes] { return PageBuffer(bytes); });
    } catch (const std::system_error &) {
        // No thread to spare: the first edits map their own.
    }
}

void EditHistory::recordEdit(const QByteArray &store, qint64 byteOffset, qint64 byteLength)
{
    const qint64 offset = std::clamp<qint64>(byteOffset, 0, store.size());
    const qint64 length = std::clamp<qint64>(byteLength, 0, store.size() - offset);
    // Freed first, so that their buffers can take this edit's bytes.
    for (Step &step : redoSteps)
        keepBuffer(std::move(step.bytes));
    redoSteps.clear();
    if (int(undoSteps.size()) >= kMaxSteps) {
        keepBuffer(std::move(undoSteps.front().bytes));
        undoSteps.erase(undoSteps.begin());
    }
    collectPrepared();
    // A copy of its own: the edit that follows writes the store in place.
    PageBuffer bytes = bufferFor(length);
    if (length > 0)
        std::memcpy(bytes.data(), store.constData() + offset, size_t(length));
    undoSteps.push_back(Step{offset, std::move(bytes)});
    prepareBuffer(length);
}

// Edits come seconds apart: mapping the next buffer in between takes the
// cost of fresh memory out of the next edit. Only while the history is not
// full, so that it never holds more than kMaxSteps buffers.
void EditHistory::prepareBuffer(qint64 length)
{
    qint64 held = qint64(spare.size());
    for (const std::vector<Step> *steps : {&undoSteps, &redoSteps})
        held += std::count_if(steps->begin(), steps->end(), [](const Step &step) { return step.bytes.capacity() > 0; });
    if (held >= kMaxSteps)
        reserve = PageBuffer();
    if (length <= 0 || held >= kMaxSteps || reserve.capacity() >= length)
        return;
    try {
        prepared = std::async(std::launch::async, [length] { return PageBuffer(length); });
    } catch (const std::system_error &) {
        // No thread to spare: the next edit maps its own.
    }
}

void EditHistory::collectPrepared()
{
    // Out of memory then: the next edit tries again on its own.
    if (prepared.valid()) {
        try {
            keepBuffer(prepared.get());
        } catch (const std::bad_alloc &) {
        }
    }
    if (reserving.valid()) {
        try {
            reserve = reserving.get();
        } catch (const std::bad_alloc &) {
        }
    }
}

void EditHistory::keepBuffer(PageBuffer &&bytes)
{
    if (bytes.capacity() > 0)
        spare.push_back(std::move(bytes));
}

// The spare buffer that fits with the least room to spare. When none fits,
// a piece of the reserve, or else a new one of the exact size, which takes
// the place of the largest spare.
PageBuffer EditHistory::bufferFor(qint64 length)
{
    auto fitting = spare.end();
    auto largest = spare.end();
    for (auto it = spare.begin(); it != spare.end(); ++it) {
        const qint64 room = it->capacity();
        if (room >= length && (fitting == spare.end() || room < fitting->capacity()))
            fitting = it;
        if (largest == spare.end() || room > largest->capacity())
            largest = it;
    }
    if (fitting == spare.end()) {
        if (reserve.capacity() >= length)
            return reserve.takeFront(length);
        if (largest != spare.end())
            spare.erase(largest);
        return PageBuffer(length);
    }
    PageBuffer bytes = std::move(*fitting);
    spare.erase(fitting);
    bytes.setSize(length);
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

HistoryMove EditHistory::take(QByteArray &store, std::vector<Step> &from, std::vector<Step> &to,
                              const QString &logLine)
{
    if (from.empty())
        return {};
    Step step = std::move(from.back());
    from.pop_back();
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
    to.push_back(std::move(step));
    return move;
}
