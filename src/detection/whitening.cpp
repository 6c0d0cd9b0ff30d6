#include "detection/whitening.h"

#include <algorithm>
#include <vector>

namespace {

enum class Step { Pass, Paint, Stop };

inline Step Classify(const uchar *p, const BackgroundKey &key)
{
    if (p[0] == 255 && p[1] == 255 && p[2] == 255)
        return Step::Pass;
    return key.matchesBgr(p) ? Step::Paint : Step::Stop;
}

inline void PaintWhite(uchar *p) { p[0] = p[1] = p[2] = 255; }

// Column walks, swept a row at a time so that memory is read in order; each
// column stays active until its walk ends. Walks only turn background into
// white, which every walk passes, so their order does not change the result.
void WalkColumns(QImage &bitmap, int x0, int x1, int y0, int y1, bool down, const BackgroundKey &key)
{
    std::vector<int> active;
    active.reserve(size_t(x1 - x0));
    for (int x = x0; x < x1; ++x)
        active.push_back(x);
    for (int step = 0; step < y1 - y0 && !active.empty(); ++step) {
        const int y = down ? y0 + step : y1 - 1 - step;
        uchar *line = bitmap.scanLine(y);
        size_t kept = 0;
        for (size_t k = 0; k < active.size(); ++k) {
            uchar *p = line + 3 * size_t(active[k]);
            const Step s = Classify(p, key);
            if (s == Step::Stop)
                continue;
            if (s == Step::Paint)
                PaintWhite(p);
            active[kept++] = active[k];
        }
        active.resize(kept);
    }
}

void WalkRow(uchar *line, int x0, int x1, const BackgroundKey &key)
{
    for (int x = x0; x < x1; ++x) {
        uchar *p = line + 3 * size_t(x);
        const Step s = Classify(p, key);
        if (s == Step::Stop)
            break;
        if (s == Step::Paint)
            PaintWhite(p);
    }
    for (int x = x1 - 1; x >= x0; --x) {
        uchar *p = line + 3 * size_t(x);
        const Step s = Classify(p, key);
        if (s == Step::Stop)
            break;
        if (s == Step::Paint)
            PaintWhite(p);
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

    WalkColumns(bitmap, x0, x1, y0, y1, true, key);
    WalkColumns(bitmap, x0, x1, y0, y1, false, key);
    for (int y = y0; y < y1; ++y)
        WalkRow(bitmap.scanLine(y), x0, x1, key);
}
