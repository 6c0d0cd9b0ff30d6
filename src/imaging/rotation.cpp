// Quarter and half turns of 24-bit pictures.
#include "imaging/picture.h"
#include "codec/picture_buffer.h"
#include "common/shared_work.h"
#include "common/simd_path.h"
#include "imaging/picture_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if KVN_SIMD_X86
#include <tmmintrin.h>
#define KVN_ROTATE_SSSE3 1
#endif

namespace {

constexpr int kTile = 64;   // pixels a side; the source and result blocks stay in L1

inline void Copy3(uchar *d, const uchar *s)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

// Copies 4 bytes; the 4th lands on the next pixel, which is written after it.
inline void Copy4(uchar *d, const uchar *s)
{
    uint32_t v;
    std::memcpy(&v, s, 4);
    std::memcpy(d, &v, 4);
}

// What a quarter turn reads and writes: result pixel (r, c) is source pixel
// (sourceX(r), row c of `rows`). The rows are ordered by result column.
struct Turn {
    const uchar *const *rows;
    int width, height;      // of the source
    uchar *bits;            // of the result
    qsizetype stride;       // of the result
    bool right;
    int resultRow(int x) const { return right ? x : width - 1 - x; }
};

// Source columns [x0, x1) by result columns [c0, c1), one pixel at a time.
void TurnPlain(const Turn &t, int x0, int x1, int c0, int c1)
{
    for (int xb = x0; xb < x1; xb += kTile) {
        const int xe = std::min(x1, xb + kTile);
        for (int cb = c0; cb < c1; cb += kTile) {
            const int ce = std::min(c1, cb + kTile);
            for (int x = xb; x < xe; ++x) {
                const size_t sx = size_t(x) * 3;
                uchar *d = t.bits + t.resultRow(x) * t.stride + size_t(cb) * 3;
                // The source's last pixel may end its buffer: read exactly 3 bytes there.
                if (x < t.width - 1) {
                    int c = cb;
                    for (; c < ce - 1; ++c, d += 3)
                        Copy4(d, t.rows[c] + sx);
                    Copy3(d, t.rows[c] + sx);
                } else {
                    for (int c = cb; c < ce; ++c, d += 3)
                        Copy3(d, t.rows[c] + sx);
                }
            }
        }
    }
}

#ifdef KVN_ROTATE_SSSE3
// Source columns [x0, x1) by result columns [0, c1), all multiples of 4, in
// blocks of 4 x 4 pixels: widen to 32 bits, transpose, narrow again. Reads 16
// bytes where 12 are used, so x1 must leave 4 bytes of the row behind it;
// writes 16 where 12 are used, into the next block of the same result row,
// which follows later.
__attribute__((target("ssse3"))) void TurnBlocks(const Turn &t, int x0, int x1, int c1)
{
    const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    for (int xb = x0; xb < x1; xb += kTile) {
        const int xe = std::min(x1, xb + kTile);
        for (int cb = 0; cb < c1; cb += kTile) {
            const int ce = std::min(c1, cb + kTile);
            for (int c = cb; c < ce; c += 4) {
                const uchar *s0 = t.rows[c], *s1 = t.rows[c + 1], *s2 = t.rows[c + 2], *s3 = t.rows[c + 3];
                const bool lastBlock = c + 4 >= t.height;
                for (int x = xb; x < xe; x += 4) {
                    const size_t sx = size_t(x) * 3;
                    const __m128i r0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s0 + sx)), widen);
                    const __m128i r1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s1 + sx)), widen);
                    const __m128i r2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s2 + sx)), widen);
                    const __m128i r3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s3 + sx)), widen);
                    const __m128i a = _mm_unpacklo_epi32(r0, r1), b = _mm_unpacklo_epi32(r2, r3);
                    const __m128i e = _mm_unpackhi_epi32(r0, r1), f = _mm_unpackhi_epi32(r2, r3);
                    const __m128i out[4] = {_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b),
                                            _mm_unpacklo_epi64(e, f), _mm_unpackhi_epi64(e, f)};
                    for (int j = 0; j < 4; ++j) {
                        uchar *d = t.bits + t.resultRow(x + j) * t.stride + size_t(c) * 3;
                        const __m128i v = _mm_shuffle_epi8(out[j], narrow);
                        if (!lastBlock) {
                            _mm_storeu_si128(reinterpret_cast<__m128i *>(d), v);
                        } else {
                            _mm_storel_epi64(reinterpret_cast<__m128i *>(d), v);
                            const int tail = _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
                            std::memcpy(d + 8, &tail, 4);
                        }
                    }
                }
            }
        }
    }
}

bool HaveSsse3()
{
    return ActiveSimdPath() >= SimdPath::Ssse3;
}
#endif

// A page at 300 dpi and up is turned on two cores, each taking the next source
// columns (result rows) still to do: no two write the same bytes.
constexpr int64_t kTwoCoresFrom = int64_t(1) << 22;

template <bool Right>
void QuarterTurn(const QImage &src, QImage &dst, int cores)
{
    const int W = src.width();
    const int H = src.height();
    std::vector<const uchar *> rows(static_cast<size_t>(H));
    for (int c = 0; c < H; ++c)
        rows[size_t(c)] = src.constScanLine(Right ? H - 1 - c : c);
    const Turn t{rows.data(), W, H, dst.bits(), dst.bytesPerLine(), Right};
    int blockX = 0, blockC = 0;
#ifdef KVN_ROTATE_SSSE3
    if (HaveSsse3() && W >= 6) {
        blockX = ((W - 6) / 4 + 1) * 4;   // 16-byte reads stay inside the row
        blockC = H & ~3;
        if (blockX > 0 && blockC > 0)
            ShareChunks(0, blockX, kTile, cores, [&](int x0, int x1) { TurnBlocks(t, x0, x1, blockC); });
        else
            blockX = blockC = 0;
    }
#endif
    // What the blocks left: the last source columns, then the last result columns.
    TurnPlain(t, blockX, W, 0, blockC);
    ShareChunks(0, W, kTile, blockX > 0 ? 1 : cores, [&](int x0, int x1) { TurnPlain(t, x0, x1, blockC, H); });
}

// Writes row src reversed pixel by pixel into dst (distinct memory). The two
// end pixels move 3 bytes so neither row is read or written past its end.
void ReverseRow(uchar *dst, const uchar *src, int width)
{
    const uchar *s = src + size_t(width - 1) * 3;
    Copy3(dst, s);
    if (width == 1)
        return;
    dst += 3;
    s -= 3;
    for (int x = 1; x < width - 1; ++x, s -= 3, dst += 3)
        Copy4(dst, s);
    Copy3(dst, s);
}

template <bool Right>
void RotateQuarter(QImage &picture, int cores)
{
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_BGR888)
        MakeBitmap24(picture);
    QImage turned = NewPicture24(picture.height(), picture.width());
    if (turned.isNull())
        return;
    if (cores == 0)
        cores = CoresFor(int64_t(picture.width()) * picture.height(), kTwoCoresFrom);
    QuarterTurn<Right>(picture, turned, cores);
    turned.setDotsPerMeterX(picture.dotsPerMeterY());
    turned.setDotsPerMeterY(picture.dotsPerMeterX());
    picture = turned;
}
}

void RotateQuarterLeft(QImage &picture, int cores) { RotateQuarter<false>(picture, cores); }

void RotateQuarterRight(QImage &picture, int cores) { RotateQuarter<true>(picture, cores); }

void RotateHalf(QImage &picture)
{
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_BGR888)
        MakeBitmap24(picture);
    const int W = picture.width();
    const int H = picture.height();
    if (!picture.isDetached()) {
        // Shared pixels: write the turned rows straight into a new picture
        // rather than copying first and turning the copy.
        QImage turned = NewPicture24(W, H);
        if (turned.isNull())
            return;
        for (int y = 0; y < H; ++y)
            ReverseRow(turned.scanLine(H - 1 - y), picture.constScanLine(y), W);
        turned.setDotsPerMeterX(picture.dotsPerMeterX());
        turned.setDotsPerMeterY(picture.dotsPerMeterY());
        picture = turned;
        return;
    }
    // Sole owner: swap rows from both ends, reversing each, through one spare row.
    const size_t rowBytes = size_t(W) * 3;
    std::vector<uchar> spare(rowBytes);
    for (int top = 0, bottom = H - 1; top <= bottom; ++top, --bottom) {
        uchar *a = picture.scanLine(top);
        uchar *b = picture.scanLine(bottom);
        std::memcpy(spare.data(), a, rowBytes);
        if (top != bottom)
            ReverseRow(a, b, W);
        ReverseRow(b, spare.data(), W);
    }
}
