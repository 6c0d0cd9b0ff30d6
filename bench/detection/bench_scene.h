#pragma once
// An A4 page scanned at 600 dpi with eight memorial cards in two columns, and
// the same cards turned over and scanned at 300 dpi.
#include <QImage>
#include <QRect>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace bench {

constexpr int PageWidth = 4960, PageHeight = 7016;

inline void Fill(QImage &p, const QRect &rect, uint8_t r, uint8_t g, uint8_t b)
{
    const QRect c = rect.intersected(p.rect());
    for (int y = c.top(); y <= c.bottom(); ++y) {
        uchar *line = p.scanLine(y);
        for (int x = c.left(); x <= c.right(); ++x) {
            line[3 * x] = b;
            line[3 * x + 1] = g;
            line[3 * x + 2] = r;
        }
    }
}

// Card rectangles at 600 dpi: 2 columns by 4 rows of 9 x 6.5 cm cards, the
// right column lying a little lower; scaled and moved for a back-side scan.
inline std::vector<QRect> Cards(double scale = 1.0, int dx = 0, int dy = 0)
{
    std::vector<QRect> cards;
    const int w = 2126, h = 1535, gapX = 220, gapY = 150, x0 = 190, y0 = 130;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 2; ++col)
            cards.push_back(QRect(int((x0 + col * (w + gapX)) * scale) + dx,
                                  int((y0 + row * (h + gapY) + 40 * col) * scale) + dy, int(w * scale),
                                  int(h * scale)));
    return cards;
}

// Glass with sensor noise, cards with a pale border, a paper face, a photo and text.
inline QImage Scan(int width, int height, const std::vector<QRect> &cards, uint32_t seed)
{
    QImage p(width, height, QImage::Format_BGR888);
    uint32_t s = seed;
    for (int y = 0; y < height; ++y) {
        uchar *line = p.scanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            s = s * 1664525u + 1013904223u;
            line[x] = uchar(253 + (s >> 30) % 3);
        }
    }
    for (const QRect &c : cards) {
        Fill(p, c, 226, 220, 204);
        const int band = c.width() / 20;
        const QRect face = c.adjusted(band, band, -band, -band);
        Fill(p, face, 240, 235, 222);
        const QRect photo(face.left() + face.width() / 4, face.top() + band, face.width() / 2, face.height() / 3);
        for (int y = photo.top(); y <= photo.bottom(); ++y) {
            uchar *line = p.scanLine(y);
            for (int x = photo.left(); x <= photo.right(); ++x) {
                line[3 * x] = uchar((x * 7 + y * 3) & 0xFF);
                line[3 * x + 1] = uchar((x * 3 + y * 5) & 0xFF);
                line[3 * x + 2] = uchar((x + y) & 0xFF);
            }
        }
        const int lh = std::max(2, face.height() / 40);
        for (int y = photo.bottom() + 2 * lh; y + lh < face.bottom(); y += 2 * lh)
            Fill(p, QRect(face.left() + band, y, face.width() - 2 * band, lh), 30, 30, 40);
    }
    return p;
}

inline double Millis(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Median of runs of f, in milliseconds.
template <class F> double MedianMs(int runs, F f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t.push_back(Millis(std::chrono::steady_clock::now() - start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace bench
