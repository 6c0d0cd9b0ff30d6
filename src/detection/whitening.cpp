#include "detection/whitening.h"

#include <algorithm>
#include <cstdint>
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

// Column walks, swept a row at a time so that memory is read in order; each
// column stays active until its walk ends. Walks only turn background into
// white, which every walk passes, so their order does not change the result.
// Returns the columns whose walk ended early.
std::vector<int> WalkColumns(QImage &bitmap, std::vector<int> active, int y0, int y1, bool down, const Classes &classes)
{
    std::vector<int> ended;
    for (int step = 0; step < y1 - y0 && !active.empty(); ++step) {
        const int y = down ? y0 + step : y1 - 1 - step;
        uchar *line = bitmap.scanLine(y);
        size_t kept = 0;
        for (size_t k = 0; k < active.size(); ++k) {
            if (classes.pass(line + 3 * size_t(active[k])))
                active[kept++] = active[k];
            else
                ended.push_back(active[k]);
        }
        active.resize(kept);
    }
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
    std::vector<int> columns(size_t(x1 - x0));
    for (int x = x0; x < x1; ++x)
        columns[size_t(x - x0)] = x;
    // A column walked down to the end holds only white now; only the others are walked up.
    const std::vector<int> stopped = WalkColumns(bitmap, std::move(columns), y0, y1, true, classes);
    WalkColumns(bitmap, stopped, y0, y1, false, classes);
    for (int y = y0; y < y1; ++y)
        WalkRow(bitmap.scanLine(y), x0, x1, classes);
}
