#include "audio/pagebuffer.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

#ifdef Q_OS_LINUX
// The kernel hands out huge pages only at this alignment.
constexpr qint64 kHugePage = 2 * 1024 * 1024;
constexpr qint64 kPage = 4096;

qint64 wholePages(qint64 bytes)
{
    return (bytes + kPage - 1) & ~(kPage - 1);
}
#endif

} // namespace

PageBuffer::PageBuffer(qint64 capacity)
{
    if (capacity <= 0)
        return;
#ifdef Q_OS_LINUX
    // One huge page extra, so the block can start on a huge-page boundary;
    // what lies before and after the block goes back at once.
    mapped = wholePages(capacity);
    const qint64 length = mapped + kHugePage;
    void *map = mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        throw std::bad_alloc();
    char *start = static_cast<char *>(map);
    block = reinterpret_cast<char *>((quintptr(start) + kHugePage - 1) & ~quintptr(kHugePage - 1));
    if (block > start)
        munmap(start, size_t(block - start));
    if (start + length > block + mapped)
        munmap(block + mapped, size_t(start + length - (block + mapped)));
    // Both only hints: a kernel without them faults the pages singly, later.
    madvise(block, size_t(capacity), MADV_HUGEPAGE);
    // The second half on another core: on a virtual machine mapping fresh
    // memory costs about 2 ms a MB, and the halves map in parallel.
    const qint64 half = (capacity / 2) & ~(kPage - 1);
    std::thread other;
    if (half >= kHugePage) {
        try {
            other = std::thread(
                [this, half, capacity] { madvise(block + half, size_t(capacity - half), MADV_POPULATE_WRITE); });
        } catch (const std::system_error &) {
            // No thread to spare: this one maps it all.
        }
    }
    madvise(block, size_t(other.joinable() ? half : capacity), MADV_POPULATE_WRITE);
    if (other.joinable())
        other.join();
#else
    block = new char[size_t(capacity)];
#endif
    room = capacity;
    used = capacity;
}

PageBuffer::~PageBuffer()
{
    release();
}

PageBuffer::PageBuffer(PageBuffer &&other) noexcept
    : block(std::exchange(other.block, nullptr))
    , used(std::exchange(other.used, 0))
    , room(std::exchange(other.room, 0))
    , mapped(std::exchange(other.mapped, 0))
{
}

PageBuffer &PageBuffer::operator=(PageBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        block = std::exchange(other.block, nullptr);
        used = std::exchange(other.used, 0);
        room = std::exchange(other.room, 0);
        mapped = std::exchange(other.mapped, 0);
    }
    return *this;
}

void PageBuffer::setSize(qint64 size)
{
    used = std::clamp<qint64>(size, 0, room);
}

PageBuffer PageBuffer::takeFront(qint64 length)
{
    length = std::clamp<qint64>(length, 0, room);
#ifdef Q_OS_LINUX
    // Whole pages, so that each piece is unmapped on its own.
    const qint64 pieceBytes = wholePages(length);
    PageBuffer piece;
    if (pieceBytes == 0)
        return piece;
    piece.block = block;
    piece.used = piece.room = length;
    piece.mapped = pieceBytes;
    block += pieceBytes;
    mapped -= pieceBytes;
    room = std::max<qint64>(0, room - pieceBytes);
    if (mapped == 0)
        block = nullptr;
    return piece;
#else
    return PageBuffer(length);
#endif
}

void PageBuffer::release()
{
#ifdef Q_OS_LINUX
    if (block)
        munmap(block, size_t(mapped));
#else
    delete[] block;
#endif
    block = nullptr;
    used = room = mapped = 0;
}
