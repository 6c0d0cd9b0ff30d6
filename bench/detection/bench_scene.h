#pragma once
// An A4 page scanned at 600 dpi with eight memorial cards in two columns, and
// the same cards turned over and scanned at 300 dpi.
#include "common/synthetic_scan.h"

#include <QImage>
#include <QRect>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace bench {

constexpr int PageWidth = 4960, PageHeight = 7016;

// A card with a pale border, a paper face, a photo and text.
inline SyntheticCard Card(const QRect &rect, double lean = 0)
{
    SyntheticCard card;
    card.rect = rect;
    card.photo = true;
    card.shade = 30;
    card.border = QColor(226, 220, 204);
    card.face = QColor(240, 235, 222);
    card.lean = lean;
    return card;
}

// Cards at 600 dpi: 2 columns by 4 rows of 9 x 6.5 cm cards, the right column
// lying a little lower; scaled and moved for a back-side scan.
inline std::vector<SyntheticCard> Cards(double scale = 1.0, int dx = 0, int dy = 0)
{
    std::vector<SyntheticCard> cards;
    const int w = 2126, h = 1535, gapX = 220, gapY = 150, x0 = 190, y0 = 130;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 2; ++col)
            cards.push_back(Card(QRect(int((x0 + col * (w + gapX)) * scale) + dx,
                                       int((y0 + row * (h + gapY) + 40 * col) * scale) + dy, int(w * scale),
                                       int(h * scale))));
    return cards;
}

// Glass with sensor noise under the cards.
inline QImage Scan(int width, int height, const std::vector<SyntheticCard> &cards, uint32_t seed)
{
    return MakeScan(width, height, {254, 254, 254, 1, seed}, cards);
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

// Writes over twice the largest last-level cache of the machines this runs
// on, so the page is read from memory as a page just scanned in is.
inline void EvictCaches()
{
    static std::vector<uint8_t> junk(size_t(64) << 20);
    for (size_t i = 0; i < junk.size(); i += 64)
        ++junk[i];
}

// Medians of runs of f and of g taken in turn, so that a machine busy for a
// while weighs on both alike; with cold, each from memory, not from what the
// one before left in the caches.
template <class F, class G> std::pair<double, double> AlternateMedianMs(int runs, F f, G g, bool cold = false)
{
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        if (cold)
            EvictCaches();
        a.push_back(MedianMs(1, f));
        if (cold)
            EvictCaches();
        b.push_back(MedianMs(1, g));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

} // namespace bench
