#pragma once

#include <QtGlobal>

// A block of writable memory taken from the kernel in whole pages, ready to
// write: on Linux it asks for 2 MB pages and faults the block in up front,
// half of it on another core. Fresh memory otherwise costs a page fault for
// every 4 KB written, which on a virtual machine is most of the cost of
// copying a region.
//
// Holds `capacity()` bytes of which the first `size()` are in use; move-only.
class PageBuffer
{
public:
    PageBuffer() = default;
    explicit PageBuffer(qint64 capacity);
    ~PageBuffer();
    PageBuffer(PageBuffer &&other) noexcept;
    PageBuffer &operator=(PageBuffer &&other) noexcept;
    PageBuffer(const PageBuffer &) = delete;
    PageBuffer &operator=(const PageBuffer &) = delete;

    char *data() { return block; }
    qint64 size() const { return used; }
    qint64 capacity() const { return room; }
    bool isEmpty() const { return used == 0; }
    // Within the capacity only: a longer size is cut to it.
    void setSize(qint64 size);

private:
    void release();

    char *block = nullptr;
    qint64 used = 0;
    qint64 room = 0;
    qint64 mapped = 0; // bytes of the mapping, aligned start included
    void *mapping = nullptr;
};
