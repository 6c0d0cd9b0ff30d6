#include "detection/whitening.h"

#include <algorithm>
#include <cstdint>
#include <emmintrin.h>
#include <cstring>
#include <vector>

namespace {

// Per channel value: bit 0 when within the tolerance of the background, bit 1
// when 255. And-ing the three entries of a pixel classifies it.
struct Classes {
    uint8_t blue[256], green[256], red[256];

    explicit Classes(const BackgroundKey &key)
    {
        for (int v = 0; v < 256; ++v) {
            const uint8_t white = v == 255 ? 2 : 0;
            blue[v] = uint8_t((std::abs(v - key.blue) <= key.tolerance ? 1 : 0) | white);
            green[v] = uint8_t((std::abs(v - key.green) <= key.tolerance ? 1 : 0) | white);
            red[v] = uint8_t((std::abs(v - key.red) <= key.tolerance ? 1 : 0) | white);
        }
    }
    // False when the walk ends here; paints background white on the way.
    // A white pixel painted white stays as it was, so every passing pixel is
    // painted: one branch fewer in the walks.
    bool pass(uchar *p) const
    {
        const uint8_t c = blue[p[0]] & green[p[1]] & red[p[2]];
        if (!c)
            return false;
        p[0] = p[1] = p[2] = 255;
        return true;
    }
};

// Whether the eight pixels at p are all white (they pass and stay as they are).
inline bool eightWhite(const uchar *p)
{
    uint64_t a, b, c;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    std::memcpy(&c, p + 16, 8);
    return (a & b & c) == ~uint64_t(0);
}

// Sixteen neighbouring pixels (48 bytes) tested at once: either all of them
// match the background (then they are painted white) or all are white; any
// other mixture is left to the pixel-by-pixel test.
struct Block16 {
    __m128i lo[3], hi[3], white;

    explicit Block16(const BackgroundKey &key)
    {
        const int channel[3] = {key.blue, key.green, key.red};
        for (int v = 0; v < 3; ++v) {
            alignas(16) uint8_t l[16], h[16];
            for (int i = 0; i < 16; ++i) {
                const int c = channel[(v * 16 + i) % 3];
                l[i] = uint8_t(std::clamp(c - key.tolerance, 0, 255));
                h[i] = uint8_t(std::clamp(c + key.tolerance, 0, 255));
            }
            lo[v] = _mm_load_si128(reinterpret_cast<const __m128i *>(l));
            hi[v] = _mm_load_si128(reinterpret_cast<const __m128i *>(h));
        }
        white = _mm_set1_epi8(char(0xFF));
    }
    // True when all sixteen pixels pass; paints them.
    bool pass(uchar *p) const
    {
        __m128i v[3];
        int background = 0xFFFF, allWhite = 0xFFFF;
        for (int k = 0; k < 3; ++k) {
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            const __m128i inside = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v[k], lo[k]), v[k]),
                                                 _mm_cmpeq_epi8(_mm_min_epu8(v[k], hi[k]), v[k]));
            background &= _mm_movemask_epi8(inside);
            allWhite &= _mm_movemask_epi8(_mm_cmpeq_epi8(v[k], white));
        }
        if (allWhite == 0xFFFF)
            return true;
        if (background != 0xFFFF)
            return false;
        for (int k = 0; k < 3; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16 * k), white);
        return true;
    }
};

// Column walks, swept a row at a time so that memory is read in order; the
// columns still walking are kept as runs of neighbours, split where a walk
// ends. Walks only turn background into white, which every walk passes, so
// their order does not change the result. Returns the columns whose walk
// ended early, in ascending order.
struct ColumnRun { int from, to; };   // to exclusive

std::vector<ColumnRun> RunsOf(const std::vector<int> &sortedColumns)
{
    std::vector<ColumnRun> runs;
    for (int x : sortedColumns) {
        if (!runs.empty() && runs.back().to == x)
            runs.back().to = x + 1;
        else
            runs.push_back({x, x + 1});
    }
    return runs;
}

std::vector<int> WalkColumns(QImage &bitmap, std::vector<ColumnRun> runs, int y0, int y1, bool down,
                             const Classes &classes, const Block16 &block)
{
    std::vector<int> ended;
    std::vector<ColumnRun> next;
    for (int step = 0; step < y1 - y0 && !runs.empty(); ++step) {
        const int y = down ? y0 + step : y1 - 1 - step;
        uchar *line = bitmap.scanLine(y);
        next.clear();
        for (const ColumnRun &run : runs) {
            int start = run.from;
            for (int x = run.from; x < run.to;) {
                if (x + 16 <= run.to && block.pass(line + 3 * size_t(x))) {
                    x += 16;
                } else if (classes.pass(line + 3 * size_t(x))) {
                    ++x;
                } else {
                    ended.push_back(x);
                    if (start < x)
                        next.push_back({start, x});
                    start = ++x;
                }
            }
            if (start < run.to)
                next.push_back({start, run.to});
        }
        runs.swap(next);
    }
    std::sort(ended.begin(), ended.end());
    return ended;
}

void WalkRow(uchar *line, int x0, int x1, const Classes &classes)
{
    int x = x0;
    for (;;) {
        while (x + 8 <= x1 && eightWhite(line + 3 * size_t(x)))
            x += 8;
        if (x < x1 && classes.pass(line + 3 * size_t(x)))
            ++x;
        else
            break;
    }
    if (x == x1)
        return;   // the whole row passed: walking back would find only white
    x = x1 - 1;
    for (;;) {
        while (x - 8 >= x0 - 1 && eightWhite(line + 3 * size_t(x - 7)))
            x -= 8;
        if (x >= x0 && classes.pass(line + 3 * size_t(x)))
            --x;
        else
            break;
    }
}

} // namespace

void WhitenBackground(QImage &bitmap, const ScanBox &rect, const BackgroundKey &key)
{
    if (bitmap.width() < 5 || bitmap.height() < 5)
        return;
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, bitmap.width());
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, bitmap.height());
    if (x0 >= x1 || y0 >= y1)
        return;
    if (bitmap.format() != QImage::Format_BGR888)
        bitmap.convertTo(QImage::Format_BGR888);

    const Classes classes(key);
    const Block16 block(key);
    // A column walked down to the end holds only white now; only the others are walked up.
    const std::vector<int> stopped = WalkColumns(bitmap, {{x0, x1}}, y0, y1, true, classes, block);
    WalkColumns(bitmap, RunsOf(stopped), y0, y1, false, classes, block);
    for (int y = y0; y < y1; ++y)
        WalkRow(bitmap.scanLine(y), x0, x1, classes);
}
