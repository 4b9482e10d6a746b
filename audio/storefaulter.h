#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

// Faults in a buffer's fresh pages on another core while one writer fills
// it from the front. On a virtual machine the first write to fresh
// memory costs about as much as decoding it, even after the kernel has
// mapped the page, so each page is mapped and then written to once, ahead
// of the writer.
//
// The two never write the same bytes at once: the faulter publishes a floor
// it will never write below again, and the writer goes beyond it only after
// stopping the faulter (beforeWriting does so). The faulter stays within the
// reserve and at most a few tens of MB ahead of the writer, so an estimate
// that overshot costs no memory. The reserve must not move while it runs:
// stop it first.
class StoreFaulter
{
public:
    StoreFaulter() = default;
    ~StoreFaulter() { stop(); }
    StoreFaulter(const StoreFaulter &) = delete;
    StoreFaulter &operator=(const StoreFaulter &) = delete;

    // Starts on the bytes from writeAt to end, which the writer will fill
    // from the front, unless already following a range that ends there.
    void follow(const char *writeAt, const char *end);
    // Before the writer writes bytes up to (not including) `end`.
    void beforeWriting(const char *end);
    void stop();

private:
    void run(quintptr from, quintptr to);

    const char *rangeEnd = nullptr;
    std::atomic<char *> floor{nullptr};
    std::atomic<const char *> writerEnd{nullptr};
    std::atomic<bool> stopping{false};
    std::thread worker;
};
