#pragma once

#include "audio/pagebuffer.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <future>
#include <vector>

// What an undo or a redo did to the store.
struct HistoryMove
{
    bool acted = false;    // false: there was no step to take; log nothing
    qint64 byteOffset = 0; // the bytes of the store that were put back
    qint64 byteLength = 0;
    QString logLine;       // for the event log when acted
};

// The undo and redo history of the sample store, at most kMaxSteps steps.
//
// The states the store can go back or forward to form one line; a step is
// the difference between two neighbours, kept as the bytes of the region
// the edit wrote, as they are in the state on the other side. Undo and redo
// swap those bytes with the store's in place, so an edit, an undo and a redo
// each cost time and memory in proportion to the region, never to the
// recording, and a step leads to exactly the bytes a whole copy of the store
// would have held.
//
// The buffers of dropped steps are kept and refilled by later edits (never
// more buffers than kMaxSteps in all), so a steady session of edits takes no
// new memory: fresh memory costs a page fault for every 4 KB written.
// Before that, the first edits of a recording cut their buffers from a
// reserve mapped in the background after the load: an eighth of the store,
// at most kMaxReserve, whose rest goes back once the history holds
// kMaxSteps buffers. When the reserve has no room for another edit of the
// last one's size, a buffer that size is mapped in the background after
// each edit, so that the next one finds it ready.
//
// A load is a step that changes nothing: right after a load one undo acts
// without changing a sample, and after a load and one edit the first two
// undos both lead to the loaded audio.
class EditHistory
{
public:
    static constexpr int kMaxSteps = 10;
    // A cap for long recordings: eleven minutes of 48 kHz 16-bit stereo.
    static constexpr qint64 kMaxReserve = 128 * 1024 * 1024;

    // Forgets every step and frees its memory: a load begins, or the store is
    // replaced.
    void clear();
    // A load finished: the history holds one step, which changes nothing,
    // and a reserve for the store's first edits begins to be mapped.
    void recordLoad(qint64 storeBytes);
    // Before an edit writes [byteOffset, byteOffset + byteLength) of store:
    // keeps those bytes as the newest undo step, drops the oldest beyond
    // kMaxSteps and forgets every redo step. The range is cut to the store.
    void recordEdit(const QByteArray &store, qint64 byteOffset, qint64 byteLength);

    // Each takes the newest step, if any, and moves it to the other stack.
    // A step that no longer fits the store (it was replaced without clear())
    // is never applied: the history is forgotten instead.
    HistoryMove undo(QByteArray &store);
    HistoryMove redo(QByteArray &store);

    int undoCount() const { return int(undoSteps.size()); }
    int redoCount() const { return int(redoSteps.size()); }

private:
    struct Step
    {
        qint64 offset = 0;
        PageBuffer bytes;
    };

    HistoryMove take(QByteArray &store, std::vector<Step> &from, std::vector<Step> &to, const QString &logLine);
    void keepBuffer(PageBuffer &&bytes);
    PageBuffer bufferFor(qint64 length);
    void prepareBuffer(qint64 length);
    void collectPrepared();

    std::vector<Step> undoSteps; // newest last
    std::vector<Step> redoSteps; // newest last
    std::vector<PageBuffer> spare; // buffers of dropped steps, for the next edits
    std::future<PageBuffer> prepared; // a spare being mapped on another thread
    std::future<PageBuffer> reserving; // the reserve, after a load
    PageBuffer reserve;
};
