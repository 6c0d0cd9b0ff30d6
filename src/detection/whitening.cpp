#include "detection/whitening.h"

#include "common/simd_path.h"
#include "detection/background_lanes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#if KVN_SIMD_X86
#include <emmintrin.h>
#endif

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

// Sixteen neighbouring pixels (48 bytes) tested at once: either all of them
// match the background (then they are painted white) or all are white; any
// other mixture is left to the pixel-by-pixel test.
struct Block16 {
    alignas(16) uint8_t lo[48], hi[48];
    bool sse2 = false;

    explicit Block16(const BackgroundKey &key)
    {
        BackgroundLanes(key, lo, hi);
#if KVN_SIMD_X86
        sse2 = ActiveSimdPath() >= SimdPath::Sse2;
#endif
    }
    // True when all sixteen pixels pass; paints them.
    bool pass(uchar *p) const
    {
#if KVN_SIMD_X86
        if (sse2)
            return passSse2(p);
#endif
        bool background = true, allWhite = true;
        for (int i = 0; i < 48; ++i) {
            background = background && p[i] >= lo[i] && p[i] <= hi[i];
            allWhite = allWhite && p[i] == 0xFF;
        }
        if (!allWhite && background)
            std::memset(p, 0xFF, 48);
        return allWhite || background;
    }

#if KVN_SIMD_X86
    __attribute__((target("sse2"))) bool passSse2(uchar *p) const
    {
        const __m128i white = _mm_set1_epi8(char(0xFF));
        __m128i v[3];
        int background = 0xFFFF, allWhite = 0xFFFF;
        for (int k = 0; k < 3; ++k) {
            const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i *>(lo + 16 * k));
            const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i *>(hi + 16 * k));
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            const __m128i inside = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v[k], low), v[k]),
                                                 _mm_cmpeq_epi8(_mm_min_epu8(v[k], high), v[k]));
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
#endif
};

// How far the walks along one row got: [x0, left) passed from the left and
// (right, x1) from the right. A row passed whole has left == x1.
struct RowReach { int left, right; };

RowReach WalkRow(uchar *line, int x0, int x1, const Classes &classes, const Block16 &block)
{
    int x = x0;
    for (;;) {
        if (x + 16 <= x1 && block.pass(line + 3 * size_t(x)))
            x += 16;
        else if (x < x1 && classes.pass(line + 3 * size_t(x)))
            ++x;
        else
            break;
    }
    if (x == x1)
        return {x1, x1 - 1};   // walking back would find only white
    const int left = x;
    x = x1 - 1;
    for (;;) {
        if (x - 15 >= x0 && block.pass(line + 3 * size_t(x - 15)))
            x -= 16;
        else if (x >= x0 && classes.pass(line + 3 * size_t(x)))
            --x;
        else
            break;
    }
    return {left, x};
}

// The columns still walking, as runs of neighbours split where a walk ends.
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

// One row's step of the column walks in runs. Pixels the row walks passed are
// passed without being read again; a column whose walk ends goes to ended.
void StepColumns(uchar *line, std::vector<ColumnRun> &runs, std::vector<ColumnRun> &next, const RowReach &reach,
                 std::vector<int> &ended, const Classes &classes, const Block16 &block)
{
    next.clear();
    for (const ColumnRun &run : runs) {
        int start = run.from;
        const int to = std::min(run.to, reach.right + 1);
        for (int x = std::max(run.from, reach.left); x < to;) {
            if (x + 16 <= to && block.pass(line + 3 * size_t(x))) {
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

    // A pixel turns white when it is background or white and some walk along
    // its row or column reaches it through such pixels only. Painting never
    // changes what a walk passes, so the walks may go in any order: one sweep
    // down takes both row walks of each row and the downward column walks
    // while the row is at hand; only the columns that stopped are then walked
    // up, over the rows the row walks did not pass whole.
    const Classes classes(key);
    const Block16 block(key);
    std::vector<RowReach> reach(size_t(y1 - y0));
    std::vector<ColumnRun> runs = {{x0, x1}}, next;
    std::vector<int> stopped;
    for (int y = y0; y < y1; ++y) {
        uchar *line = bitmap.scanLine(y);
        const RowReach r = WalkRow(line, x0, x1, classes, block);
        reach[size_t(y - y0)] = r;
        if (r.left < x1 && !runs.empty())
            StepColumns(line, runs, next, r, stopped, classes, block);
    }
    std::sort(stopped.begin(), stopped.end());
    runs = RunsOf(stopped);
    stopped.clear();
    for (int y = y1 - 1; y >= y0 && !runs.empty(); --y) {
        const RowReach &r = reach[size_t(y - y0)];
        if (r.left < x1)
            StepColumns(bitmap.scanLine(y), runs, next, r, stopped, classes, block);
    }
}
