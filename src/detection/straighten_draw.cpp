// Turning a card upright: bilinear interpolation along each target row, eight
// pixels at a time where the processor has AVX2, one at a time elsewhere. Every
// way computes the same integers, so the picture does not depend on the processor.
#include "detection/straighten.h"

#include "common/shared_work.h"
#include "common/simd_path.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#if KVN_SIMD_X86
#include <immintrin.h>
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;
// 16.16 fixed point source coordinates; of the fraction 6 bits weigh across
// and 7 bits down (the widths a byte-by-byte multiply-add takes).
constexpr int kFracX = 6, kFracY = 7;
constexpr int kRound = 1 << (kFracX + kFracY - 1);

// Bilinear blend of one channel's 2 x 2 taps: across first, then down.
inline uchar BlendTaps(int topLeft, int topRight, int bottomLeft, int bottomRight, int fx, int fy)
{
    const int above = topLeft * ((1 << kFracX) - fx) + topRight * fx;
    const int below = bottomLeft * ((1 << kFracX) - fx) + bottomRight * fx;
    return uchar((above * ((1 << kFracY) - fy) + below * fy + kRound) >> (kFracX + kFracY));
}

// Whitened glass all round: white comes out, the common case beside a card.
inline bool WhitePairs(const uchar *p, const uchar *q)
{
    uint64_t top = 0, bottom = 0;
    std::memcpy(&top, p, 6);
    std::memcpy(&bottom, q, 6);
    return (top & bottom) == 0xFFFFFFFFFFFFu;
}

// The blend of the 2 x 2 pixels at p (row above) and q (row below), all three
// channels, into out.
inline void BlendPlain(const uchar *p, const uchar *q, int fx, int fy, uchar *out)
{
    if (WhitePairs(p, q)) {
        std::memset(out, 0xFF, 3);
        return;
    }
    for (int k = 0; k < 3; ++k)
        out[k] = BlendTaps(p[k], p[k + 3], q[k], q[k + 3], fx, fy);
}

#if KVN_SIMD_X86
// The same with the three channels at once. Reads 8 bytes at each: the two
// bytes past the pair must lie within the picture, and play no part.
__attribute__((target("sse2"))) inline void BlendSse2(const uchar *p, const uchar *q, int fx, int fy, uchar *out)
{
    if (WhitePairs(p, q)) {
        std::memset(out, 0xFF, 3);
        return;
    }
    uint64_t top, bottom;
    std::memcpy(&top, p, 8);
    std::memcpy(&bottom, q, 8);
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(top)), zero);      // b0 g0 r0 b1 g1 r1 . .
    const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(bottom)), zero);
    // Across: (left, right) of each channel weighted in one multiply-add.
    const __m128i wx = _mm_set1_epi32(int(uint32_t(fx) << 16 | ((1u << kFracX) - uint32_t(fx))));
    const __m128i across = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, _mm_srli_si128(a, 6)), wx),
                                           _mm_madd_epi16(_mm_unpacklo_epi16(b, _mm_srli_si128(b, 6)), wx));
    // Down: (above, below) of each channel.
    const __m128i pairs = _mm_unpacklo_epi16(across, _mm_srli_si128(across, 8));   // B0 B1 G0 G1 R0 R1 ..
    __m128i sum = _mm_madd_epi16(pairs, _mm_set1_epi32(int(uint32_t(fy) << 16 | ((1u << kFracY) - uint32_t(fy)))));
    sum = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(kRound)), kFracX + kFracY);
    sum = _mm_packus_epi16(_mm_packs_epi32(sum, zero), zero);
    const uint32_t v = uint32_t(_mm_cvtsi128_si32(sum));
    std::memcpy(out, &v, 3);
}
#endif

// The i in [0, n) for which lo <= (start + i * step) >> 16 < hi, as [first, last).
std::pair<int, int> Within(int64_t start, int64_t step, int lo, int hi, int n)
{
    const int64_t low = int64_t(lo) * 65536, high = (int64_t(hi) * 65536) - 1;
    auto floorDiv = [](int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
    auto ceilDiv = [&](int64_t a, int64_t b) { return -floorDiv(-a, b); };
    int64_t first = 0, last = n - 1;
    if (step == 0) {
        if (start < low || start > high)
            return {0, 0};
    } else if (step > 0) {
        first = std::max(first, ceilDiv(low - start, step));
        last = std::min(last, floorDiv(high - start, step));
    } else {
        first = std::max(first, ceilDiv(high - start, step));
        last = std::min(last, floorDiv(low - start, step));
    }
    if (first > last)
        return {0, 0};
    return {int(first), int(last + 1)};
}

std::pair<int, int> Meet(std::pair<int, int> a, std::pair<int, int> b)
{
    const int first = std::max(a.first, b.first), last = std::min(a.second, b.second);
    return first < last ? std::make_pair(first, last) : std::make_pair(0, 0);
}

#if KVN_SIMD_X86
// The 8 bytes at p and the 8 a row below.
__attribute__((target("avx2"))) inline __m128i Taps(const uchar *p, size_t stride)
{
    const __m128i above = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(above), reinterpret_cast<const double *>(p + stride)));
}

// The taps of pixels a (low half) and b (high half): 8 bytes at each and 8 a row below.
__attribute__((target("avx2"))) inline __m256i TapPair(const uchar *a, const uchar *b, size_t stride)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Taps(a, stride)), Taps(b, stride), 1);
}

// Those taps blended: blue, green, red and 0 in 32 bits each, the lowest 7
// bits dropped (the rounding of the rest below rounds as the one-pixel blend does).
__attribute__((target("avx2"))) inline __m256i BlendPair(__m256i taps, __m256i pairs, __m256i byteWeights,
                                                         __m256i wordWeights)
{
    const __m256i across = _mm256_maddubs_epi16(_mm256_shuffle_epi8(taps, pairs), byteWeights);
    return _mm256_srli_epi32(_mm256_madd_epi16(across, wordWeights), kFracY);
}

// count (at least 8) pixels eight a pass, starting at source point (sx, sy)
// relative to origin (16.16) and stepping by (stepX, stepY); every pixel's
// 2 x 2 lies within what may be read. Asks for the source ahead bytes further
// on while blending, for the rows to come.
__attribute__((target("avx2"))) void BlendRun8(const uchar *origin, size_t stride, int32_t sx, int32_t sy,
                                               int32_t stepX, int32_t stepY, int count, std::ptrdiff_t ahead, uchar *out)
{
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i vx = _mm256_add_epi32(_mm256_set1_epi32(sx), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(stepX)));
    __m256i vy = _mm256_add_epi32(_mm256_set1_epi32(sy), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(stepY)));
    const __m256i stepX8 = _mm256_set1_epi32(stepX * 8), stepY8 = _mm256_set1_epi32(stepY * 8);
    const __m256i rowBytes = _mm256_set1_epi32(int32_t(stride));
    // Of the 8 bytes above and the 8 below: (left, right) pairs of blue above,
    // blue below, green above, ... for the multiply-add across.
    const __m256i pairs = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 3, 8, 11, 1, 4, 9, 12, 2, 5, 10, 13, -1, -1, -1, -1));
    const __m256i compact = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    const __m256i maskX = _mm256_set1_epi32((1 << kFracX) - 1), maskY = _mm256_set1_epi32((1 << kFracY) - 1);
    const __m256i oneX = _mm256_set1_epi32(1 << kFracX), oneY = _mm256_set1_epi32(1 << kFracY);
    // (x + 32) >> 6, rounded in one multiply.
    const __m256i round = _mm256_set1_epi16(1 << (15 - kFracX));
    // Broadcasts the byte weights of pixel k (and k + 4) over its half.
    const __m256i byteWeights0 = _mm256_set1_epi16(0x0100), byteWeights1 = _mm256_set1_epi16(0x0504),
                  byteWeights2 = _mm256_set1_epi16(0x0908), byteWeights3 = _mm256_set1_epi16(0x0D0C);
    // The two bytes past each pair of taps play no part.
    const __m256i unused = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 0, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, 0, 0, -1, -1));
    const __m256i ones = _mm256_set1_epi8(-1);
    for (int i = 0; i < count; i += 8, out += 24) {
        if (i + 8 > count) {
            // The last few: the eight that end at count again, the overlap blended alike.
            const int back = i + 8 - count;
            i -= back;
            out -= 3 * back;
            vx = _mm256_sub_epi32(vx, _mm256_set1_epi32(stepX * back));
            vy = _mm256_sub_epi32(vy, _mm256_set1_epi32(stepY * back));
        }
        const __m256i ix = _mm256_srli_epi32(vx, 16), iy = _mm256_srli_epi32(vy, 16);
        const __m256i offs = _mm256_add_epi32(_mm256_mullo_epi32(iy, rowBytes), _mm256_add_epi32(ix, _mm256_add_epi32(ix, ix)));
        const __m128i olo = _mm256_castsi256_si128(offs), ohi = _mm256_extracti128_si256(offs, 1);
        const uint64_t q0 = uint64_t(_mm_cvtsi128_si64(olo)), q1 = uint64_t(_mm_extract_epi64(olo, 1));
        const uint64_t q2 = uint64_t(_mm_cvtsi128_si64(ohi)), q3 = uint64_t(_mm_extract_epi64(ohi, 1));
        // Taken out 64 bits at a time: fewer trips through the shuffle units.
        const int32_t offset[8] = {int32_t(q0), int32_t(q0 >> 32), int32_t(q1), int32_t(q1 >> 32),
                                   int32_t(q2), int32_t(q2 >> 32), int32_t(q3), int32_t(q3 >> 32)};
        // Per pixel the weights (1 - fx, fx) as bytes and (1 - fy, fy) as words.
        const __m256i fx = _mm256_and_si256(_mm256_srli_epi32(vx, 16 - kFracX), maskX);
        const __m256i fy = _mm256_and_si256(_mm256_srli_epi32(vy, 16 - kFracY), maskY);
        const __m256i wx = _mm256_or_si256(_mm256_sub_epi32(oneX, fx), _mm256_slli_epi32(fx, 8));
        const __m256i wy = _mm256_or_si256(_mm256_sub_epi32(oneY, fy), _mm256_slli_epi32(fy, 16));
        vx = _mm256_add_epi32(vx, stepX8);
        vy = _mm256_add_epi32(vy, stepY8);
        // The rows below are read next in this strip, and no prefetcher foresees where.
        _mm_prefetch(reinterpret_cast<const char *>(origin + offset[0] + ahead), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char *>(origin + offset[7] + ahead), _MM_HINT_T0);
        // Pixel k in the low half and k + 4 in the high half: in-lane shuffles reach both.
        const __m256i taps0 = TapPair(origin + offset[0], origin + offset[4], stride);
        const __m256i taps1 = TapPair(origin + offset[1], origin + offset[5], stride);
        const __m256i taps2 = TapPair(origin + offset[2], origin + offset[6], stride);
        const __m256i taps3 = TapPair(origin + offset[3], origin + offset[7], stride);
        // Whitened glass all round: white comes out, as often beside a card.
        const __m256i all = _mm256_and_si256(_mm256_and_si256(taps0, taps1), _mm256_and_si256(taps2, taps3));
        if (_mm256_testc_si256(_mm256_or_si256(all, unused), ones)) {
            std::memset(out, 0xFF, 24);
            continue;
        }
        const __m256i sum0 = BlendPair(taps0, pairs, _mm256_shuffle_epi8(wx, byteWeights0), _mm256_shuffle_epi32(wy, 0x00));
        const __m256i sum1 = BlendPair(taps1, pairs, _mm256_shuffle_epi8(wx, byteWeights1), _mm256_shuffle_epi32(wy, 0x55));
        const __m256i sum2 = BlendPair(taps2, pairs, _mm256_shuffle_epi8(wx, byteWeights2), _mm256_shuffle_epi32(wy, 0xAA));
        const __m256i sum3 = BlendPair(taps3, pairs, _mm256_shuffle_epi8(wx, byteWeights3), _mm256_shuffle_epi32(wy, 0xFF));
        const __m256i low = _mm256_mulhrs_epi16(_mm256_packs_epi32(sum0, sum1), round);
        const __m256i high = _mm256_mulhrs_epi16(_mm256_packs_epi32(sum2, sum3), round);
        const __m256i bytes = _mm256_shuffle_epi8(_mm256_packus_epi16(low, high), compact);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(bytes));
        if (i + 9 < count) {
            // Its 4 bytes too many reach into the next two pixels, written after.
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 12), _mm256_extracti128_si256(bytes, 1));
        } else {
            alignas(16) uchar last[16];
            _mm_store_si128(reinterpret_cast<__m128i *>(last), _mm256_extracti128_si256(bytes, 1));
            std::memcpy(out + 12, last, 12);
        }
    }
}
#endif

// Turning one card, worked out once: which source pixels may be read, the
// step along a target row, and the fastest way the processor blends.
class Turning {
public:
    Turning(const QImage &source, const ScanBox &rect, const CardLean &lean, QImage &target, int x, int y,
            unsigned fill, const ScanBox &readable)
        : m_rect(rect), m_lean(lean), m_x(x), m_y(y), m_bits(source.constBits()),
          m_stride(size_t(source.bytesPerLine())), m_targetBits(target.bits()),
          m_targetStride(size_t(target.bytesPerLine())), m_path(ActiveSimdPath())
    {
        m_fill[0] = uchar((fill >> 16) & 0xFF);
        m_fill[1] = uchar((fill >> 8) & 0xFF);
        m_fill[2] = uchar(fill & 0xFF);
        // Source pixels that may be read: the readable rectangle within the picture.
        m_sx0 = std::max(readable.left, 0), m_sx1 = std::min(readable.right, source.width());
        m_sy0 = std::max(readable.top, 0), m_sy1 = std::min(readable.bottom, source.height());
        // Rows whose pair may be read 8 bytes wide: all but the picture's last.
        m_syFast = std::min(m_sy1, source.height() - 1);
        tx0 = std::max(x, 0), tx1 = std::min(x + rect.width(), target.width());
        ty0 = std::max(y, 0), ty1 = std::min(y + rect.height(), target.height());
        const double radians = lean.degrees * kPi / 180;
        m_cos = std::cos(radians), m_sin = std::sin(radians);
        m_stepX = std::llround(m_cos * kOne), m_stepY = std::llround(m_sin * kOne);
        // Eight at a time with offsets from the rectangle's corner in 32 bits.
        m_wide = m_path >= SimdPath::Avx2 && m_sx1 > m_sx0 && m_syFast > m_sy0 && int64_t(m_sx1 - m_sx0) < (1 << 15) &&
                 int64_t(m_syFast - m_sy0) < (1 << 15) &&
                 int64_t(m_syFast - m_sy0 + 1) * int64_t(m_stride) < (int64_t(1) << 31);
        m_origin = m_wide ? m_bits + size_t(m_sy0) * m_stride + size_t(m_sx0) * 3 : m_bits;
        // Where the source lies some target rows further down.
        constexpr int kAhead = 4;
        m_ahead = std::ptrdiff_t(std::lround(kAhead * m_cos)) * std::ptrdiff_t(m_stride) -
                  std::ptrdiff_t(std::lround(kAhead * m_sin)) * 3;
    }

    int tx0, tx1, ty0, ty1;   // the target pixels drawn

    // Target rows [from, to), in strips of columns: along a very wide turned
    // row the source rows it crosses would no longer stay in the cache until the next row.
    void draw(int from, int to) const
    {
        constexpr int kStrip = 2048;
        for (int strip = tx0; strip < tx1; strip += kStrip)
            for (int ty = from; ty < to; ++ty)
                drawRow(ty, strip, std::min(strip + kStrip, tx1) - strip);
    }

private:
    static constexpr double kOne = 65536.0;

    // n pixels of target row ty from column strip on.
    void drawRow(int ty, int strip, int n) const
    {
        // Target pixel centre in picture coordinates, relative to the card's centre.
        const double py = m_rect.top + (ty - m_y) - m_lean.centreY;
        const double px = m_rect.left + (strip - m_x) - m_lean.centreX;
        const int64_t sx = std::llround((m_lean.centreX + px * m_cos - py * m_sin) * kOne);
        const int64_t sy = std::llround((m_lean.centreY + px * m_sin + py * m_cos) * kOne);
        uchar *row = m_targetBits + size_t(ty) * m_targetStride + size_t(strip) * 3;
        // Along a straight line each is one stretch: the pixels whose 2 x 2
        // touches what may be read, and those whose 2 x 2 lies wholly in it.
        const auto touch = Meet(Within(sx, m_stepX, m_sx0 - 1, m_sx1, n), Within(sy, m_stepY, m_sy0 - 1, m_sy1, n));
        auto inside = Meet(Within(sx, m_stepX, m_sx0, m_sx1 - 1, n), Within(sy, m_stepY, m_sy0, m_syFast - 1, n));
        if (inside.first >= inside.second)
            inside = {touch.second, touch.second};
        fillRun(row, touch.first);
        for (int i = touch.first; i < inside.first; ++i)
            border(sx + i * m_stepX, sy + i * m_stepY, row + size_t(i) * 3);
        blendRun(sx, sy, inside.first, inside.second, row);
        for (int j = inside.second; j < touch.second; ++j)
            border(sx + j * m_stepX, sy + j * m_stepY, row + size_t(j) * 3);
        fillRun(row + size_t(touch.second) * 3, n - touch.second);
    }

    // Pixels [first, last) of a row starting at source point (sx, sy), their 2 x 2 wholly readable.
    void blendRun(int64_t sx, int64_t sy, int first, int last, uchar *row) const
    {
        int i = first;
#if KVN_SIMD_X86
        if (m_wide && last - i >= 8) {
            BlendRun8(m_origin, m_stride, int32_t(sx + i * m_stepX - (int64_t(m_sx0) * 65536)),
                      int32_t(sy + i * m_stepY - (int64_t(m_sy0) * 65536)), int32_t(m_stepX), int32_t(m_stepY),
                      last - i, m_ahead, row + size_t(i) * 3);
            return;
        }
        const bool sse2 = m_path >= SimdPath::Sse2;
#endif
        for (; i < last; ++i) {
            const int64_t px = sx + i * m_stepX, py = sy + i * m_stepY;
            const uchar *p = m_bits + size_t(py >> 16) * m_stride + size_t(px >> 16) * 3;
            const int fx = int(px >> (16 - kFracX)) & ((1 << kFracX) - 1);
            const int fy = int(py >> (16 - kFracY)) & ((1 << kFracY) - 1);
#if KVN_SIMD_X86
            if (sse2) {
                BlendSse2(p, p + m_stride, fx, fy, row + size_t(i) * 3);
                continue;
            }
#endif
            BlendPlain(p, p + m_stride, fx, fy, row + size_t(i) * 3);
        }
    }

    // At the border of what may be read: taps outside count as the fill.
    void border(int64_t sx, int64_t sy, uchar *out) const
    {
        const int ix = int(sx >> 16), iy = int(sy >> 16);
        const int fx = int(sx >> (16 - kFracX)) & ((1 << kFracX) - 1), fy = int(sy >> (16 - kFracY)) & ((1 << kFracY) - 1);
        const uchar *taps[4] = {m_fill, m_fill, m_fill, m_fill};
        const int tx[2] = {ix, ix + 1}, ty[2] = {iy, iy + 1};
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                if (tx[i] >= m_sx0 && tx[i] < m_sx1 && ty[j] >= m_sy0 && ty[j] < m_sy1)
                    taps[j * 2 + i] = m_bits + size_t(ty[j]) * m_stride + size_t(tx[i]) * 3;
        for (int k = 0; k < 3; ++k)
            out[k] = BlendTaps(taps[0][k], taps[1][k], taps[2][k], taps[3][k], fx, fy);
    }

    void fillRun(uchar *p, int count) const
    {
        if (m_fill[0] == m_fill[1] && m_fill[1] == m_fill[2]) {
            std::memset(p, m_fill[0], size_t(std::max(count, 0)) * 3);
            return;
        }
        for (int i = 0; i < count; ++i, p += 3)
            std::memcpy(p, m_fill, 3);
    }

    const ScanBox m_rect;
    const CardLean m_lean;
    const int m_x, m_y;
    const uchar *const m_bits;
    const size_t m_stride;
    uchar *const m_targetBits;
    const size_t m_targetStride;
    const SimdPath m_path;
    uchar m_fill[3];
    int m_sx0, m_sx1, m_sy0, m_sy1, m_syFast;
    double m_cos, m_sin;
    int64_t m_stepX, m_stepY;
    bool m_wide;
    const uchar *m_origin;
    std::ptrdiff_t m_ahead;
};

} // namespace

bool NeedsTurning(const CardLean &lean)
{
    return lean.confident && std::abs(lean.degrees) >= 0.02;
}

void DrawStraightened(const QImage &source, const ScanBox &rect, const CardLean &lean, QImage &target, int x,
                      int y, unsigned fill, int cores, const ScanBox *readable)
{
    const Turning turning(source, rect, lean, target, x, y, fill, readable ? *readable : rect);
    // A card of some size is turned on two cores.
    constexpr int kRows = 64;
    constexpr int64_t kTwoCoresFrom = 1 << 20;
    if (cores == 0)
        cores = CoresFor(int64_t(turning.tx1 - turning.tx0) * (turning.ty1 - turning.ty0), kTwoCoresFrom);
    ShareChunks(turning.ty0, turning.ty1, kRows, cores, [&](int from, int to) { turning.draw(from, to); });
}
