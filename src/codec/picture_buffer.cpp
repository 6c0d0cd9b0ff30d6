#include "codec/picture_buffer.h"

#include <climits>
#include <cstdlib>
#include <sys/mman.h>

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugeWorthwhile = size_t(8) << 20;
}

void *AllocateLarge(size_t bytes)
{
    if (bytes < kHugeWorthwhile)
        return std::malloc(bytes ? bytes : 1);
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void *memory = std::aligned_alloc(kHugePage, rounded);
    // Fewer page faults and TLB misses while a whole page is written.
    if (memory)
        ::madvise(memory, rounded, MADV_HUGEPAGE);
    return memory;
}

void FreeLarge(void *memory) { std::free(memory); }

QImage NewPicture24(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QImage();
    const qint64 bytesPerLine = (qint64(width) * 3 + 3) & ~qint64(3);
    if (bytesPerLine > INT_MAX)
        return QImage();
    const size_t bytes = size_t(bytesPerLine) * size_t(height);
    if (bytes < kHugeWorthwhile)
        return QImage(width, height, QImage::Format_BGR888);
    void *memory = AllocateLarge(bytes);
    if (!memory)
        return QImage();
    return QImage(static_cast<uchar *>(memory), width, height, bytesPerLine, QImage::Format_BGR888,
                  [](void *p) { FreeLarge(p); }, memory);
}
