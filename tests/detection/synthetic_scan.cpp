#include "synthetic_scan.h"

#include <algorithm>
#include <cmath>

void FillRect(QImage &picture, const QRect &rect, int red, int green, int blue)
{
    const QRect r = rect.intersected(picture.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = r.left(); x <= r.right(); ++x) {
            line[3 * x] = uchar(blue);
            line[3 * x + 1] = uchar(green);
            line[3 * x + 2] = uchar(red);
        }
    }
}

void PaintCard(QImage &picture, const SyntheticCard &card)
{
    const QRect &r = card.rect;
    FillRect(picture, r, 228, 222, 205);   // pale border, never within a small tolerance of white
    const int band = std::max(2, std::min(r.width(), r.height()) / 12);
    const QRect face = r.adjusted(band, band, -band, -band);
    FillRect(picture, face, 240, 236, 226);
    const int lineHeight = std::max(1, face.height() / 16);
    for (int y = face.top() + lineHeight; y + lineHeight < face.bottom(); y += 2 * lineHeight)
        FillRect(picture, QRect(face.left() + band, y, std::max(1, face.width() - 2 * band), lineHeight),
                 card.shade, card.shade, card.shade + 10);
}

QImage MakeScan(int width, int height, const SyntheticGlass &glass, const std::vector<SyntheticCard> &cards)
{
    QImage picture(width, height, QImage::Format_BGR888);
    uint32_t state = glass.seed * 2654435761u + 12345u;
    const int span = 2 * glass.noise + 1;
    for (int y = 0; y < height; ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            int c[3] = {glass.blue, glass.green, glass.red};
            for (int &v : c) {
                state = state * 1664525u + 1013904223u;
                v = std::clamp(v + int((state >> 16) % uint32_t(span)) - glass.noise, 0, 255);
            }
            line[3 * x] = uchar(c[0]);
            line[3 * x + 1] = uchar(c[1]);
            line[3 * x + 2] = uchar(c[2]);
        }
    }
    for (const SyntheticCard &card : cards)
        PaintCard(picture, card);
    return picture;
}

std::vector<SyntheticCard> Moved(const std::vector<SyntheticCard> &cards, double factor, int dx, int dy)
{
    std::vector<SyntheticCard> out;
    for (const SyntheticCard &c : cards) {
        const QRect &r = c.rect;
        out.push_back({QRect(int(std::lround(r.x() * factor)) + dx, int(std::lround(r.y() * factor)) + dy,
                             int(std::lround(r.width() * factor)), int(std::lround(r.height() * factor))),
                       c.shade});
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
