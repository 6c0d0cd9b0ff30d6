#include "imaging/tiff_writer.h"

#include "common/worker_pool.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// libtiff I/O over a stdio stream we own.
tmsize_t ReadProc(thandle_t h, void *buffer, tmsize_t size)
{
    return tmsize_t(std::fread(buffer, 1, size_t(size), static_cast<FILE *>(h)));
}
tmsize_t WriteProc(thandle_t h, void *buffer, tmsize_t size)
{
    return tmsize_t(std::fwrite(buffer, 1, size_t(size), static_cast<FILE *>(h)));
}
toff_t SeekProc(thandle_t h, toff_t offset, int whence)
{
    FILE *f = static_cast<FILE *>(h);
    return std::fseek(f, long(offset), whence) == 0 ? toff_t(std::ftell(f)) : toff_t(-1);
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h)
{
    FILE *f = static_cast<FILE *>(h);
    const long at = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, at, SEEK_SET);
    return toff_t(size);
}
int MapProc(thandle_t, void **, toff_t *) { return 0; }
void UnmapProc(thandle_t, void *, toff_t) {}

// Strips of about a megabyte, each encoded on its own: enough of them to keep
// every core busy, big enough that starting afresh costs nothing.
uint32_t RowsPerStrip(int width)
{
    return uint32_t(std::max(1, (1 << 20) / std::max(1, width * 3)));
}

// Whole dots per inch, rounded as the image library stores them.
double WholeDpi(unsigned pixelsPerMetre)
{
    return double(static_cast<unsigned long>(0.5 + 0.0254 * pixelsPerMetre));
}

void SetFields(TIFF *tif, int width, int height, uint32_t rowsPerStrip)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

// The LZW bytes of n bytes at most: 12 bits a byte, a clear code now and then,
// and room for the last eight-byte store.
size_t LzwBound(size_t n)
{
    return n * 2 + 16;
}

// The strings of one byte followed by one more byte, most lookups by far, in a
// direct table kept by a thread from strip to strip: entries are generation <<
// 12 | code, so a fresh start needs a new generation rather than clearing.
struct RootPairs {
    std::vector<uint32_t> entries = std::vector<uint32_t>(size_t(1) << 16, 0);
    uint32_t generation = 0;
    // The base of a fresh generation: entries below it are stale.
    uint32_t fresh()
    {
        if (++generation == (1u << 20)) {
            std::fill(entries.begin(), entries.end(), 0);
            generation = 1;
        }
        return generation << 12;
    }
};

constexpr int kHashBits = 14;
constexpr long kClear = 256, kEnd = 257, kFirst = 258, kCodeMax = 4095, kCheckGap = 10000;

// Codes going out eight bytes at a time without a branch: each is shifted in
// below the bits still to go, and the whole bytes stored.
struct CodeOutput {
    uchar *op;
    uint64_t data = 0;
    int bits = 0, nbits = 9;

    void put(long code)
    {
        data = (data << nbits) | uint64_t(code);
        bits += nbits;
        const uint64_t word = __builtin_bswap64(data << (64 - bits));
        std::memcpy(op, &word, 8);
        op += bits >> 3;
        bits &= 7;
    }
    // Past the last byte, the bits still to go written out.
    uchar *end()
    {
        if (bits > 0)
            *op++ = uchar(data << (8 - bits));
        return op;
    }
};

// libtiff's encoder starts afresh when the ratio of bytes read to bits written
// since the last fresh start slips. It is checked once kCheckGap bytes have
// been read since the last check (libtiff keeps that point over fresh starts):
// at byte checkAt.
struct RatioCheck {
    const uchar *outFrom;
    int bitsFrom = 0;
    size_t inFrom = 0, checkpoint = kCheckGap, checkAt = kCheckGap - 1;
    long lastRatio = 0;

    // A fresh start after byte i, before its clear code goes out.
    void restart(size_t i, const CodeOutput &codes)
    {
        lastRatio = 0;
        inFrom = i + 1;
        checkAt = checkpoint + i;
        outFrom = codes.op;
        bitsFrom = codes.bits;
    }
    // At byte i == checkAt: whether the ratio slipped; the next check is set.
    bool slipped(size_t i, const CodeOutput &codes)
    {
        const long in = long(i + 1 - inFrom);
        const long outBits = long(codes.op - outFrom) * 8 + codes.bits - bitsFrom;
        checkpoint = size_t(in) + kCheckGap;
        checkAt = checkpoint + inFrom - 1;
        const long ratio = in > 0x007fffff ? ((outBits >> 8) == 0 ? 0x7fffffff : in / (outBits >> 8))
                                           : (in << 8) / outBits;
        if (ratio <= lastRatio)
            return true;
        lastRatio = ratio;
        return false;
    }
};

// TIFF's LZW of n bytes at p, appended to out: the very codes libtiff's
// encoder emits (a fresh start when the table is full or the ratio slips).
// Longer strings than those of pairs go to a hash table of four-byte entries,
// 64 KB, at most a quarter full, so probes are short. The state lives in
// locals (the helpers inline): the output bytes would otherwise make the
// compiler reload it after every store.
uchar *EncodeLzw(const uchar *p, size_t n, uchar *out, RootPairs &rootStore)
{
    constexpr uint32_t kMask = (1u << kHashBits) - 1;
    // entry: byte << 24 | prefix << 12 | code, for prefixes of two bytes and more; 0 is free.
    std::vector<uint32_t> tableStore(size_t(1) << kHashBits, 0);
    uint32_t *const table = tableStore.data();
    uint32_t *const root = rootStore.entries.data();
    uint32_t rootBase = rootStore.fresh();
    CodeOutput codes{out};
    RatioCheck ratio{out};
    // limit: the last code before the width grows or the table is full.
    long limit = 511, next = kFirst;
    // i: the byte that started the string just put out.
    const auto restart = [&](size_t i) {
        std::memset(table, 0, sizeof(uint32_t) << kHashBits);
        rootBase = rootStore.fresh();
        ratio.restart(i, codes);
        next = kFirst;
        codes.put(kClear);
        codes.nbits = 9;
        limit = 511;
    };
    uint32_t ent = 0;
    if (n > 0) {
        codes.put(kClear);
        ent = p[0];
    }
    for (size_t i = 1; i < n; ++i) {
        const uint32_t c = p[i];
        uint32_t *slot;
        uint32_t entry;
        if (ent < 256) {
            slot = root + (ent << 8 | c);
            const uint32_t e = *slot;
            if (e >= rootBase) {
                ent = e & 0xFFF;
                continue;
            }
            entry = rootBase | uint32_t(next);
        } else {
            const uint32_t want = c << 12 | ent;
            uint32_t h = (want * 0x9E3779B1u) >> (32 - kHashBits);
            uint32_t e;
            while ((e = table[h]) != 0 && e >> 12 != want)
                h = (h + 1) & kMask;
            if (e != 0) {
                ent = e & 0xFFF;
                continue;
            }
            slot = table + h;
            entry = want << 12 | uint32_t(next);
        }
        codes.put(long(ent));
        ent = c;
        *slot = entry;
        if (++next > limit || i >= ratio.checkAt) {
            if (next == kCodeMax - 1) {
                restart(i);
            } else if (next > limit) {
                ++codes.nbits;
                limit = std::min((1L << codes.nbits) - 1, kCodeMax - 2);
            } else if (ratio.slipped(i, codes)) {
                restart(i);
            }
        }
    }
    if (n > 0) {
        codes.put(long(ent));
        if (++next == kCodeMax - 1) {
            codes.put(kClear);
            codes.nbits = 9;
        } else if (next > (1L << codes.nbits) - 1) {
            ++codes.nbits;
        }
    }
    codes.put(kEnd);
    return codes.end();
}

// Buffers a thread keeps from strip to strip, not zero-filled: fresh vectors
// would write three megabytes a strip before any encoding.
struct StripBuffers {
    std::unique_ptr<uchar[]> rows, codes;
    size_t size = 0;
    RootPairs pairs;
};

// The LZW bytes of rows [y, y + rows) of picture as one strip, each row as RGB
// differences from the pixel before (the horizontal predictor).
std::vector<uchar> EncodeStrip(const QImage &picture, int y, int rows, StripBuffers &buffers)
{
    const int width = picture.width();
    const size_t rowBytes = size_t(width) * 3, size = rowBytes * size_t(rows);
    if (buffers.size < size) {
        buffers.rows.reset(new uchar[size]);
        buffers.codes.reset(new uchar[LzwBound(size)]);
        buffers.size = size;
    }
    for (int i = 0; i < rows; ++i) {
        const uchar *bgr = picture.constScanLine(y + i);
        uchar *out = buffers.rows.get() + rowBytes * size_t(i);
        uchar r = 0, g = 0, b = 0;
        for (int x = 0; x < width; ++x, bgr += 3, out += 3) {
            out[0] = uchar(bgr[2] - r);
            out[1] = uchar(bgr[1] - g);
            out[2] = uchar(bgr[0] - b);
            r = bgr[2];
            g = bgr[1];
            b = bgr[0];
        }
    }
    const uchar *codes = buffers.codes.get(), *end = EncodeLzw(buffers.rows.get(), size, buffers.codes.get(), buffers.pairs);
    return std::vector<uchar>(codes, end);
}

// The strips of a picture, encoded by the writing thread and by free workers
// of the pool, each strip once; a few ahead of the writing are held at most.
class StripEncoder {
public:
    StripEncoder(const QImage &picture, uint32_t rowsPerStrip, int encoders)
        : m_picture(picture), m_rows(int(rowsPerStrip)),
          m_strips(int((uint32_t(picture.height()) + rowsPerStrip - 1) / rowsPerStrip)), m_window(2 * encoders),
          m_encoded(size_t(m_strips)), m_done(size_t(m_strips), 0)
    {
    }
    int strips() const { return m_strips; }

    // A helper's part: strips until none is left or one failed.
    void help()
    {
        StripBuffers buffers;
        std::unique_lock<std::mutex> guard(m_lock);
        while (!m_failed && m_next < m_strips)
            if (!encodeNext(guard, buffers))
                m_changed.wait(guard);
    }
    // The bytes of strip k, encoding strips here while they are to be had;
    // empty once a strip failed.
    std::vector<uchar> take(int k, StripBuffers &buffers)
    {
        std::vector<uchar> bytes;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            while (!m_failed && !m_done[size_t(k)])
                if (!encodeNext(guard, buffers))
                    m_changed.wait(guard);
            if (!m_failed)
                bytes.swap(m_encoded[size_t(k)]);
            m_written = k + 1;
        }
        m_changed.notify_all();
        return bytes;
    }
    void stop()
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_failed = true;
        }
        m_changed.notify_all();
    }

private:
    // Encodes the next strip, unlocked meanwhile; false when none may be taken yet.
    bool encodeNext(std::unique_lock<std::mutex> &guard, StripBuffers &buffers)
    {
        if (m_next >= m_strips || m_next >= m_written + m_window)
            return false;
        const int k = m_next++;
        guard.unlock();
        std::vector<uchar> bytes;
        try {
            const int y = k * m_rows;
            bytes = EncodeStrip(m_picture, y, std::min(m_rows, m_picture.height() - y), buffers);
        } catch (...) {
            guard.lock();
            m_failed = true;
            m_changed.notify_all();
            throw;
        }
        guard.lock();
        m_failed = m_failed || bytes.empty();
        m_encoded[size_t(k)].swap(bytes);
        m_done[size_t(k)] = 1;
        m_changed.notify_all();
        return true;
    }

    const QImage &m_picture;
    const int m_rows, m_strips, m_window;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::vector<uchar>> m_encoded;
    std::vector<char> m_done;
    int m_next = 0, m_written = 0;
    bool m_failed = false;
};

// Encodes and writes the strips in order. On a worker of the pool they are all
// encoded here: work on the pool starts no threads beside it.
bool WriteStrips(TIFF *tif, const QImage &picture, uint32_t rowsPerStrip)
{
    const int strips = int((uint32_t(picture.height()) + rowsPerStrip - 1) / rowsPerStrip);
    const int helpers = WorkerPool::onWorker() ? 0 : std::min(strips, WorkerPool::shared().size()) - 1;
    StripEncoder encoder(picture, rowsPerStrip, helpers + 1);
    PoolHelpers pool;
    pool.start(helpers, [&encoder] { encoder.help(); });
    StripBuffers buffers;
    bool ok = true;
    for (int k = 0; ok && k < encoder.strips(); ++k) {
        std::vector<uchar> bytes = encoder.take(k, buffers);
        ok = !bytes.empty() && TIFFWriteRawStrip(tif, uint32_t(k), bytes.data(), tmsize_t(bytes.size())) >= 0;
    }
    if (!ok)
        encoder.stop();
    pool.finish();
    return ok;
}

} // namespace

bool WriteTiff(FILE *file, const QImage &picture, unsigned pixelsPerMetreX, unsigned pixelsPerMetreY)
{
    if (picture.format() != QImage::Format_BGR888 || picture.isNull())
        return false;
    // Warnings about tags are no business of the user's; set once, as every thread shares it.
    static std::once_flag quiet;
    std::call_once(quiet, [] { TIFFSetWarningHandler(nullptr); });
    const std::unique_ptr<TIFF, void (*)(TIFF *)> tif(
        TIFFClientOpen("picture", "w", file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc, UnmapProc),
        TIFFClose);
    if (!tif)
        return false;
    const int width = picture.width(), height = picture.height();
    const uint32_t rowsPerStrip = RowsPerStrip(width);
    SetFields(tif.get(), width, height, rowsPerStrip);
    TIFFSetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif.get(), TIFFTAG_XRESOLUTION, WholeDpi(pixelsPerMetreX));
    TIFFSetField(tif.get(), TIFFTAG_YRESOLUTION, WholeDpi(pixelsPerMetreY));
    // Out of memory or threads, here or on a helper: the system's error for the
    // caller's reason, as a failed write gives it.
    try {
        const bool ok = WriteStrips(tif.get(), picture, rowsPerStrip);
        return TIFFWriteDirectory(tif.get()) && ok;
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
    } catch (const std::system_error &e) {
        errno = e.code().category() == std::generic_category() || e.code().category() == std::system_category()
            ? e.code().value() : EIO;
    }
    return false;
}
