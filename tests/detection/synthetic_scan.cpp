#include "synthetic_scan.h"

#include <algorithm>
#include <cmath>

std::vector<SyntheticCard> Moved(const std::vector<SyntheticCard> &cards, double factor, int dx, int dy)
{
    std::vector<SyntheticCard> out;
    for (const SyntheticCard &c : cards) {
        const QRect &r = c.rect;
        SyntheticCard m = c;
        m.rect = QRect(int(std::lround(r.x() * factor)) + dx, int(std::lround(r.y() * factor)) + dy,
                       int(std::lround(r.width() * factor)), int(std::lround(r.height() * factor)));
        out.push_back(m);
    }
    return out;
}

namespace {
// First and last cell whose sampled pixel lies in [from, to).
void CellRange(int from, int to, int size, int &first, int &last)
{
    first = 10000;
    last = -10000;
    for (int cell = 0; cell < 200; ++cell) {
        const int p = int(qint64(cell) * size / 200);
        if (p >= from && p < to) {
            first = std::min(first, cell);
            last = std::max(last, cell);
        }
    }
}
} // namespace

ScanBox ExpectedBox(const QRect &rect, int width, int height, int margin)
{
    int x0, x1, y0, y1;
    CellRange(rect.left(), rect.left() + rect.width(), width, x0, x1);
    CellRange(rect.top(), rect.top() + rect.height(), height, y0, y1);
    return {int(qint64(width) * x0 / 200) - margin, int(qint64(height) * y0 / 200) - margin,
            int(qint64(width) * x1 / 200) + margin, int(qint64(height) * y1 / 200) + margin};
}

std::vector<SyntheticCard> CardGrid(int cols, int rows, int x0, int y0, int w, int h, int gapX, int gapY)
{
    std::vector<SyntheticCard> cards;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            cards.push_back({QRect(x0 + c * (w + gapX), y0 + r * (h + gapY), w, h), uint8_t(20 + 12 * cards.size())});
    return cards;
}

Bgr PixelAt(const QImage &picture, int x, int y)
{
    const uchar *p = picture.constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}
