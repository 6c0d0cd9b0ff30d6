#include "codec/picture_buffer.h"

#include "common/shared_work.h"

#include <climits>
#include <cstring>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
#include <sys/mman.h>

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugeWorthwhile = size_t(8) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kKeepFreed = false;   // reuse would hide use-after-free from the checker
#else
constexpr bool kKeepFreed = true;
#endif

// A few freed large blocks kept for the next picture of about their size: a
// series of cut-outs and saves would otherwise have the system clear every
// page of every new picture before it is written anyway.
class FreedBlocks {
public:
    // A kept block for bytes; nullptr when none fits, after giving back what
    // would take the kept and a block made afresh past the limit.
    void *take(size_t bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int i = 0; i < m_count; ++i)
            if (m_blocks[i].size >= bytes && m_blocks[i].size / 2 <= bytes) {
                void *p = m_blocks[i].memory;
                remove(i);
                return p;
            }
        makeRoom(bytes, 0);
        return nullptr;
    }
    // False when the block is not kept; the caller frees it.
    bool keep(void *memory, size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (size > kMaxTotal / 2)
            return false;
        makeRoom(size, 1);
        m_blocks[m_count++] = {memory, size};
        m_total += size;
        return true;
    }
    size_t total()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_total;
    }

private:
    // Frees the oldest until size more bytes and blocks more blocks fit.
    void makeRoom(size_t size, int blocks)
    {
        while (m_count > 0 && (m_count + blocks > kMax || m_total + size > kMaxTotal)) {
            std::free(m_blocks[0].memory);
            remove(0);
        }
    }
    void remove(int i)
    {
        m_total -= m_blocks[i].size;
        for (++i; i < m_count; ++i)
            m_blocks[i - 1] = m_blocks[i];
        --m_count;
    }

    // The cards of a series in flight at once and the one on screen: no card
    // of a series waits for memory made afresh.
    static constexpr int kMax = 8;
    // Room for one freed 600-dpi A4 page (106 MB), the size most pictures here have.
    static constexpr size_t kMaxTotal = size_t(224) << 20;
    struct Block {
        void *memory;
        size_t size;
    };
    std::mutex m_mutex;
    Block m_blocks[kMax] = {};
    int m_count = 0;
    size_t m_total = 0;
};

FreedBlocks &freed()
{
    static FreedBlocks *blocks = new FreedBlocks;   // never destroyed: pictures may outlive statics
    return *blocks;
}
}

void *AllocateLarge(size_t bytes)
{
    if (bytes < kHugeWorthwhile)
        return std::malloc(bytes ? bytes : 1);
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (kKeepFreed)
        if (void *reused = freed().take(rounded))
            return reused;
    void *memory = std::aligned_alloc(kHugePage, rounded);
    // Fewer page faults and TLB misses while a whole page is written.
    if (memory)
        ::madvise(memory, rounded, MADV_HUGEPAGE);
    return memory;
}

size_t KeptLargeBytes()
{
    return kKeepFreed ? freed().total() : 0;
}

void FreeLarge(void *memory)
{
    if (kKeepFreed && memory) {
        const size_t size = ::malloc_usable_size(memory);
        if (size >= kHugeWorthwhile && freed().keep(memory, size))
            return;
    }
    std::free(memory);
}

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

QImage CopyPicture24(const QImage &picture)
{
    if (picture.format() != QImage::Format_BGR888)
        return QImage();
    QImage copy = NewPicture24(picture.width(), picture.height());
    if (copy.isNull())
        return copy;
    const size_t rowBytes = size_t(picture.width()) * 3;
    uchar *const to = copy.bits();
    const qsizetype stride = copy.bytesPerLine();
    constexpr int kRows = 256;
    ShareChunks(0, picture.height(), kRows, CoresFor(int64_t(rowBytes) * picture.height(), int64_t(1) << 24),
                [&](int from, int end) {
                    for (int y = from; y < end; ++y)
                        std::memcpy(to + y * stride, picture.constScanLine(y), rowBytes);
                });
    return copy;
}
