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
    // Whether takeFront() cuts pieces that are freed on their own.
#ifdef Q_OS_LINUX
    static constexpr bool kSplits = true;
#else
    static constexpr bool kSplits = false;
#endif

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
    // The first `length` bytes of the block, rounded up to whole pages, as a
    // buffer of their own (of capacity and size `length`); this one keeps the
    // rest. Needs length <= capacity(). Where blocks do not split, a new one.
    PageBuffer takeFront(qint64 length);

private:
    void release();

    char *block = nullptr;
    qint64 used = 0;
    qint64 room = 0;
    qint64 mapped = 0; // bytes of the mapping from block on: room in whole pages
};
