#pragma once
// Scans made in code: scanner glass of one colour with sensor noise, and cards
// with a pale border and dark content lying on it.
#include "detection/scanbox.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

struct SyntheticCard {
    QRect rect;
    uint8_t shade = 60;   // darkness of the content, so cards can be told apart
};

struct SyntheticGlass {
    int red = 255, green = 255, blue = 255;
    int noise = 2;        // each channel varies by up to this much
    uint32_t seed = 1;
};

// A 24-bit picture of the glass with the cards on it.
QImage MakeScan(int width, int height, const SyntheticGlass &glass, const std::vector<SyntheticCard> &cards);

// Paints one card: a pale border band, a paper face and rows of dark "text".
void PaintCard(QImage &picture, const SyntheticCard &card);

// Fills rect (clipped) with one colour.
void FillRect(QImage &picture, const QRect &rect, int red, int green, int blue);

// The same layout at another size and place: every rectangle scaled by factor
// and moved by (dx, dy).
std::vector<SyntheticCard> Moved(const std::vector<SyntheticCard> &cards, double factor, int dx, int dy);

// The box detection gives for rect on a picture width x height, when the
// selection is the whole picture: from the cells whose sample lies in rect.
ScanBox ExpectedBox(const QRect &rect, int width, int height, int margin);

// Cards in rows and columns: cols x rows cards of w x h with gaps, from (x0, y0).
std::vector<SyntheticCard> CardGrid(int cols, int rows, int x0, int y0, int w, int h, int gapX, int gapY);

// Bytes blue, green, red of one pixel.
struct Bgr { int b, g, r; };
Bgr PixelAt(const QImage &picture, int x, int y);

#include <ostream>
inline void PrintTo(const ScanBox &b, std::ostream *os)
{
    *os << "(" << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << ")";
}
