#include "detection/straighten.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <emmintrin.h>
#include <system_error>
#include <thread>
#include <xmmintrin.h>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
// A card must fill this share of its turned bounding rectangle to count as one.
constexpr double MinFill = 0.93;
// Pixels in a row that must be card before the row's edge is taken: single
// noisy pixels of the glass are no edge.
constexpr int MinRun = 4;
constexpr int MinCardPixels = 16;

struct Point {
    double x, y;
};

double Cross(const Point &o, const Point &a, const Point &b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Andrew's monotone chain; points are sorted in place.
std::vector<Point> ConvexHull(std::vector<Point> &points)
{
    std::sort(points.begin(), points.end(),
              [](const Point &a, const Point &b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<Point> hull(2 * points.size());
    size_t k = 0;
    for (const Point &p : points) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], p) <= 0)
            --k;
        hull[k++] = p;
    }
    for (size_t i = points.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k > 1 ? k - 1 : k);
    return hull;
}

struct Fit {
    double area = 0, radians = 0, centreX = 0, centreY = 0;
};

// The bounding rectangle of hull turned by radians; pixel centres widen by one.
Fit BoundsAt(const std::vector<Point> &hull, double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    double u0 = 1e300, u1 = -1e300, v0 = 1e300, v1 = -1e300;
    for (const Point &p : hull) {
        const double u = p.x * c + p.y * s, v = -p.x * s + p.y * c;
        u0 = std::min(u0, u);
        u1 = std::max(u1, u);
        v0 = std::min(v0, v);
        v1 = std::max(v1, v);
    }
    Fit f;
    f.area = (u1 - u0 + 1) * (v1 - v0 + 1);
    f.radians = radians;
    const double um = (u0 + u1) / 2, vm = (v0 + v1) / 2;
    f.centreX = um * c - vm * s;
    f.centreY = um * s + vm * c;
    return f;
}

// Bilinear blend of the 2 x 2 pixels at p (row above) and q (row below) with
// 7-bit fractions, all three channels at once. Reads 8 bytes at each: the two
// bytes past the pair must lie within the picture, and play no part.
// Gives blue, green, red in the low three bytes.
inline uint32_t Blend(const uchar *p, const uchar *q, uint32_t fx, uint32_t fy)
{
    uint64_t top, bottom;
    std::memcpy(&top, p, 8);
    std::memcpy(&bottom, q, 8);
    // Whitened glass all round: white comes out, the common case beside a card.
    constexpr uint64_t Pair = 0xFFFFFFFFFFFFu;
    if ((top & bottom & Pair) == Pair)
        return 0xFFFFFF;
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(top)), zero);      // b0 g0 r0 b1 g1 r1 . .
    const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(bottom)), zero);
    // Down first: a * 128 + (b - a) * fy stays within 16 bits.
    const __m128i v = _mm_add_epi16(_mm_slli_epi16(a, 7), _mm_mullo_epi16(_mm_sub_epi16(b, a), _mm_set1_epi16(short(fy))));
    // Then across: pairs (left, right) of each channel weighted in one multiply-add.
    const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 6));   // B0 B1 G0 G1 R0 R1 ..
    __m128i sum = _mm_madd_epi16(pairs, _mm_set1_epi32(int(fx << 16 | (128 - fx))));
    sum = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(8192)), 14);
    sum = _mm_packus_epi16(_mm_packs_epi32(sum, zero), zero);
    return uint32_t(_mm_cvtsi128_si32(sum));
}

} // namespace

CardLean MeasureLean(const QImage &picture, const ScanBox &rect, const BackgroundKey &key)
{
    CardLean lean;
    if (picture.format() != QImage::Format_BGR888)
        return lean;
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, picture.width());
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, picture.height());
    if (x1 - x0 < MinCardPixels || y1 - y0 < MinCardPixels)
        return lean;

    // Background as the detection sees it, and white as whitening leaves it.
    auto card = [&key](const uchar *p) { return !key.matchesBgr(p) && !(p[0] == 255 && p[1] == 255 && p[2] == 255); };
    // The first pixel from which MinRun pixels in the step direction are card.
    auto edge = [&](const uchar *line, int from, int to, int step) {
        int run = 0;
        for (int x = from; x != to; x += step) {
            run = card(line + size_t(x) * 3) ? run + 1 : 0;
            if (run == MinRun)
                return x - step * (MinRun - 1);
        }
        return -1;
    };

    std::vector<Point> points;
    points.reserve(size_t(y1 - y0) * 2);
    double spans = 0;
    // Every other row: the sides stay as straight, at half the scanning.
    constexpr int RowStep = 2;
    for (int y = y0; y < y1; y += RowStep) {
        const uchar *line = picture.constScanLine(y);
        const int left = edge(line, x0, x1, 1);
        if (left < 0)
            continue;
        const int right = edge(line, x1 - 1, left - 1, -1);
        points.push_back({double(left), double(y)});
        points.push_back({double(right), double(y)});
        spans += (right - left + 1) * std::min(RowStep, y1 - y);
    }
    if (points.size() < 2 * MinCardPixels / RowStep)
        return lean;
    const std::vector<Point> hull = ConvexHull(points);
    if (hull.size() < 3)
        return lean;

    // The rectangle of least area lies along one of the hull's edges.
    const double limit = (MaxLeanDegrees + 0.5) * Pi / 180;
    Fit best = BoundsAt(hull, 0);
    for (size_t i = 0; i < hull.size(); ++i) {
        const Point &a = hull[i], &b = hull[(i + 1) % hull.size()];
        double angle = std::atan2(b.y - a.y, b.x - a.x);
        // Sides lie a quarter turn apart: bring the angle within an eighth turn of 0.
        angle -= std::round(angle / (Pi / 2)) * (Pi / 2);
        if (std::abs(angle) > limit)
            continue;
        const Fit f = BoundsAt(hull, angle);
        if (f.area < best.area)
            best = f;
    }
    if (spans < MinFill * best.area)
        return lean;   // not a rectangle: a round photo, two cards, a torn corner
    lean.degrees = best.radians * 180 / Pi;
    if (std::abs(lean.degrees) > MaxLeanDegrees)
        return lean;
    lean.confident = true;
    lean.centreX = best.centreX;
    lean.centreY = best.centreY;
    return lean;
}

bool NeedsTurning(const CardLean &lean)
{
    return lean.confident && std::abs(lean.degrees) >= 0.02;
}

void DrawStraightened(const QImage &source, const ScanBox &rect, const CardLean &lean, QImage &target, int x,
                      int y, unsigned fill)
{
    const uchar bgr[3] = {uchar((fill >> 16) & 0xFF), uchar((fill >> 8) & 0xFF), uchar(fill & 0xFF)};
    // Source pixels that may be read: rect within the picture.
    const int sx0 = std::max(rect.left, 0), sx1 = std::min(rect.right, source.width());
    const int sy0 = std::max(rect.top, 0), sy1 = std::min(rect.bottom, source.height());
    const double radians = lean.degrees * Pi / 180;
    const double c = std::cos(radians), s = std::sin(radians);
    // 16.16 fixed point steps along a target row.
    constexpr double One = 65536.0;
    const int64_t stepX = std::llround(c * One), stepY = std::llround(s * One);

    const uchar *bits = source.constBits();
    const size_t stride = size_t(source.bytesPerLine());
    const int tx0 = std::max(x, 0), tx1 = std::min(x + rect.width(), target.width());
    const int ty0 = std::max(y, 0), ty1 = std::min(y + rect.height(), target.height());
    uchar *targetBits = target.bits();
    const size_t targetStride = size_t(target.bytesPerLine());
    // In strips of columns: a whole turned row would touch hundreds of source
    // rows (and memory pages) at once, a strip's row only a few.
    constexpr int Strip = 192;
    // Going down a strip the source moves by rows no prefetcher foresees: ask
    // for the pixels some rows ahead while blending these.
    constexpr int Ahead = 6;
    const std::ptrdiff_t ahead = std::ptrdiff_t(std::lround(Ahead * c)) * std::ptrdiff_t(stride) -
                                 std::ptrdiff_t(std::lround(Ahead * s)) * 3;
    // Rows whose pair may be read 8 bytes wide: all but the picture's last.
    const int syFast = std::min(sy1, source.height() - 1);
    auto inside = [&](int64_t sx, int64_t sy) {
        const int ix = int(sx >> 16), iy = int(sy >> 16);
        return ix >= sx0 && iy >= sy0 && ix + 1 < sx1 && iy + 1 < syFast;
    };
    // At the border of what may be read: taps outside count as the fill.
    auto border = [&](int64_t sx, int64_t sy, uchar *out) {
        const int ix = int(sx >> 16), iy = int(sy >> 16);
        if (ix + 1 < sx0 || ix >= sx1 || iy + 1 < sy0 || iy >= sy1) {
            std::memcpy(out, bgr, 3);   // the turned card's corners reach past what was scanned
            return;
        }
        const uint32_t fx = uint32_t(sx >> 8) & 0xFF, fy = uint32_t(sy >> 8) & 0xFF;
        const uchar *taps[4] = {bgr, bgr, bgr, bgr};
        const int tx_[2] = {ix, ix + 1}, ty_[2] = {iy, iy + 1};
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                if (tx_[i] >= sx0 && tx_[i] < sx1 && ty_[j] >= sy0 && ty_[j] < sy1)
                    taps[j * 2 + i] = bits + size_t(ty_[j]) * stride + size_t(tx_[i]) * 3;
        const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
        for (int k = 0; k < 3; ++k)
            out[k] = uchar((taps[0][k] * w[0] + taps[1][k] * w[1] + taps[2][k] * w[2] + taps[3][k] * w[3] + 32768) >> 16);
    };
    auto draw = [&](int from, int to) {
    for (int strip = from; strip < to; strip += Strip)
    for (int ty = ty0; ty < ty1; ++ty) {
        const int n = std::min(strip + Strip, tx1) - strip;
        // Target pixel centre in picture coordinates, relative to the card's centre.
        const double py = rect.top + (ty - y) - lean.centreY;
        const double px = rect.left + (strip - x) - lean.centreX;
        const int64_t sxStart = std::llround((lean.centreX + px * c - py * s) * One);
        const int64_t syStart = std::llround((lean.centreY + px * s + py * c) * One);
        uchar *row = targetBits + size_t(ty) * targetStride + size_t(strip) * 3;
        // Along a straight line what may be read is one stretch: find its ends
        // once, so the pixels between need no checks.
        int first = 0, last = n;
        while (first < n && !inside(sxStart + first * stepX, syStart + first * stepY))
            ++first;
        while (last > first && !inside(sxStart + (last - 1) * stepX, syStart + (last - 1) * stepY))
            --last;
        for (int i = 0; i < first; ++i)
            border(sxStart + i * stepX, syStart + i * stepY, row + size_t(i) * 3);
        for (int i = last; i < n; ++i)
            border(sxStart + i * stepX, syStart + i * stepY, row + size_t(i) * 3);
        int64_t sx = sxStart + first * stepX, sy = syStart + first * stepY;
        uchar *out = row + size_t(first) * 3;
        for (int i = first; i < last; ++i, sx += stepX, sy += stepY, out += 3) {
            const uchar *p = bits + size_t(sy >> 16) * stride + size_t(sx >> 16) * 3;
            _mm_prefetch(reinterpret_cast<const char *>(uintptr_t(p) + uintptr_t(ahead)), _MM_HINT_T0);
            const uint32_t bgr = Blend(p, p + stride, (uint32_t(sx) >> 9) & 0x7F, (uint32_t(sy) >> 9) & 0x7F);
            // Four bytes in one store where the next pixel overwrites the fourth.
            if (i + 1 < last) {
                std::memcpy(out, &bgr, 4);
            } else {
                const uint16_t blueGreen = uint16_t(bgr);
                std::memcpy(out, &blueGreen, 2);
                out[2] = uchar(bgr >> 16);
            }
        }
    }
    };
    // A card of some size is turned on two cores: the strips write apart.
    constexpr int64_t TwoCoresFrom = 1 << 20;
    const int half = tx0 + (tx1 - tx0) / 2 / Strip * Strip;
    if (half > tx0 && int64_t(tx1 - tx0) * (ty1 - ty0) >= TwoCoresFrom && std::thread::hardware_concurrency() > 1) {
        std::thread other;
        try {
            other = std::thread(draw, half, tx1);
        } catch (const std::system_error &) {
            draw(tx0, tx1);   // no thread to be had: all on this one
            return;
        }
        draw(tx0, half);
        other.join();
        return;
    }
    draw(tx0, tx1);
}
