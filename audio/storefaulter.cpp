#include "audio/storefaulter.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

// Written to once in every this many bytes: the smallest page there is.
constexpr qint64 kPageBytes = 4096;
// Faulted in by one step, between looks at whether to stop: a writer that
// catches up waits for one step.
constexpr qint64 kFaultStep = qint64(2) << 20;
// The most the faulter goes ahead of the writer.
constexpr qint64 kFaultLead = qint64(32) << 20;

quintptr pageAligned(quintptr address)
{
    return address & ~quintptr(kPageBytes - 1);
}

} // namespace

void StoreFaulter::follow(const char *writeAt, const char *end)
{
    if (end == rangeEnd)
        return;
    stop();
    rangeEnd = end;
    // One step ahead of the writer, which faults in its next writes itself.
    const quintptr from = pageAligned(quintptr(writeAt) + kFaultStep + kPageBytes - 1);
    const quintptr to = pageAligned(quintptr(end));
    floor.store(reinterpret_cast<char *>(from));
    writerEnd.store(writeAt);
    if (to < from + kFaultStep)
        return;
    stopping = false;
    try {
        worker = std::thread([this, from, to] { run(from, to); });
    } catch (const std::system_error &) {
        // No thread to spare: the writer faults its pages in itself.
    }
}

void StoreFaulter::beforeWriting(const char *end)
{
    writerEnd.store(end, std::memory_order_relaxed);
    if (worker.joinable() && end > floor.load(std::memory_order_acquire))
        stop();
}

void StoreFaulter::stop()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
    rangeEnd = nullptr;
}

void StoreFaulter::run(quintptr from, quintptr to)
{
    for (quintptr at = from; at < to && !stopping; at += kFaultStep) {
        while (!stopping && at > quintptr(writerEnd.load(std::memory_order_relaxed)) + kFaultLead)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (stopping)
            break;
        auto *const step = reinterpret_cast<char *>(at);
        floor.store(step, std::memory_order_release);
        const quintptr length = std::min<quintptr>(kFaultStep, to - at);
#ifdef Q_OS_LINUX
        // Maps the step's pages in one call; only a hint.
        madvise(step, size_t(length), MADV_POPULATE_WRITE);
#endif
        for (quintptr offset = 0; offset < length; offset += kPageBytes)
            *static_cast<volatile char *>(step + offset) = 0;
    }
    floor.store(reinterpret_cast<char *>(to), std::memory_order_release);
}
