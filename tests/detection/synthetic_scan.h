#pragma once
// Layouts of cards for scans made in code, and what detection should find in them.
#include "common/synthetic_scan.h"
#include "detection/scanbox.h"

#include <QImage>
#include <QRect>
#include <vector>

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
