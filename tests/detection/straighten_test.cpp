// Cards laid askew come out upright: measured on scans drawn here, with the
// lean found again in the saved picture by its own edge fit.
#include "common/synthetic_scan.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/straighten.h"
#include "synthetic_scan.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct Scene {
    double lean;        // degrees, clockwise on screen
    QColor glass, card;
    bool whiten;
    bool round = false; // an oval photograph instead of a card
};

// A 900 x 1000 scan with one card of 420 x 600 turned about its centre,
// antialiased, with a photo and lines of print on it and sensor noise over all.
QImage LeaningScan(const Scene &s)
{
    SyntheticCard card;
    card.rect = QRect(240, 200, 420, 600);
    card.lean = s.lean;
    card.oval = s.round;
    card.border = card.face = s.card;
    card.photo = true;
    card.shade = 30;
    card.noise = 2;
    card.seed = 5;
    return MakeScan(900, 1000, {s.glass.red(), s.glass.green(), s.glass.blue(), 2, 5}, {card});
}

int Sum(const uchar *p) { return p[0] + p[1] + p[2]; }

// Where a row (or column) first crosses half-way from the background to the
// card, to a fraction of a pixel; NaN when it never does.
double Crossing(const QImage &p, int fixed, bool row, int around, int far)
{
    const int n = row ? p.width() : p.height();
    auto at = [&](int i) { return std::abs(Sum(row ? p.constScanLine(fixed) + 3 * i : p.constScanLine(i) + 3 * fixed) - around); };
    const double half = far / 2.0;
    for (int i = 1; i < n; ++i)
        if (at(i) >= half && at(i - 1) < half)
            return i - 1 + (half - at(i - 1)) / double(at(i) - at(i - 1));
    return std::nan("");
}

// Lean of the card's left and top edges in the saved picture, by least squares
// over the middle of each edge; the larger of the two, in degrees.
double ResidualLean(const QImage &p, const QColor &around, const QColor &card)
{
    const int bg = around.red() + around.green() + around.blue();
    const int far = std::abs(card.red() + card.green() + card.blue() - bg);
    double worst = 0;
    for (bool row : {true, false}) {
        const int n = row ? p.height() : p.width();
        double sx = 0, sy = 0, sxx = 0, sxy = 0, count = 0;
        for (int i = n * 35 / 100; i < n * 65 / 100; ++i) {
            const double c = Crossing(p, i, row, bg, far);
            if (std::isnan(c))
                continue;
            sx += i, sy += c, sxx += double(i) * i, sxy += i * c, ++count;
        }
        const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
        worst = std::max(worst, std::abs(std::atan(slope) * 180 / 3.14159265358979));
    }
    return worst;
}

CardPictures CutOne(const QImage &scan, const Scene &s, bool straighten)
{
    DetectionSettings d;
    d.background = PlatformColour(s.glass.red(), s.glass.green(), s.glass.blue());
    d.tolerance = 8;
    ScanBoxList boxes = DetectItems(scan, {0, 0, scan.width(), scan.height()}, d);
    EXPECT_EQ(boxes.size(), 1u) << s.lean;
    CutOutSettings c;
    c.whiten = s.whiten;
    c.key = d.key();
    c.background = d.background;
    c.straighten = straighten;
    CardPictures out;
    CutOutBoxes(scan, boxes, int(boxes.size()), nullptr, c, [&](const CardPictures &p) { out = p; });
    return out;
}

} // namespace

TEST(Straighten, LeaningCardsComeOutUprightOnEveryGlass)
{
    const QColor white(255, 255, 255), grey(128, 128, 128), black(20, 20, 24);
    const QColor cream(236, 226, 198), paper(242, 242, 240);
    const std::vector<Scene> scenes = {
        {-10, white, cream, false}, {-6.5, grey, paper, false}, {-2, black, cream, true},
        {0.7, white, paper, false}, {4, black, paper, false},   {7.3, grey, cream, true},
        {10, white, cream, true},   {10, black, cream, false},  {-9, white, paper, false},
    };
    for (const Scene &s : scenes) {
        const QImage scan = LeaningScan(s);
        const QColor fill = s.whiten ? white : s.glass;
        const QImage before = CutOne(scan, s, false).joined;
        const QImage after = CutOne(scan, s, true).joined;
        // Cut to the card and the 2 % margin (18 pixels) around it; the box keeps more.
        EXPECT_NEAR(after.width(), 420 + 2 * 18, 10) << s.lean;
        EXPECT_NEAR(after.height(), 600 + 2 * 18, 10) << s.lean;
        EXPECT_GT(before.width() * before.height(), after.width() * after.height()) << s.lean;
        EXPECT_GT(ResidualLean(before, fill, s.card), std::abs(s.lean) - 0.5) << s.lean;
        EXPECT_LE(ResidualLean(after, fill, s.card), 0.3) << "lean " << s.lean << " glass " << s.glass.name().toStdString();
        // The corners the turn uncovers take the fill colour.
        if (std::abs(s.lean) >= 2) {
            const uchar *corner = after.constScanLine(0);
            EXPECT_EQ(QColor(corner[2], corner[1], corner[0]), fill) << s.lean;
        }
    }
}

TEST(Straighten, WhatCannotBeMeasuredWithConfidenceStaysAsItIs)
{
    const QColor white(255, 255, 255), cream(236, 226, 198);
    // An oval photograph, a card beyond the 15 degrees handled, and an upright card.
    for (const Scene &s : {Scene{6, white, cream, false, true}, Scene{25, white, cream, false}, Scene{0, white, cream, true}}) {
        const QImage scan = LeaningScan(s);
        EXPECT_EQ(CutOne(scan, s, true).joined, CutOne(scan, s, false).joined) << s.lean;
    }
}

// The turn against bilinear interpolation worked out in floating point, on
// noise (every lane, channel and tap shows), for a box inside the scan turned
// on two cores, one reaching past the scan's corner, one narrow enough that rows
// end between the wide passes and one too narrow for them. Taps outside box or
// scan count as the fill colour.
TEST(Straighten, TurningIsBilinearEverywhere)
{
    struct Case {
        QSize scan;
        ScanBox box;
        double lean, centreX, centreY;
        int cores;
    };
    const Case cases[] = {
        {{1400, 1100}, {100, 30, 1300, 1020}, 7.3, 700.4, 520.6, 2},
        {{500, 400}, {-40, 250, 230, 460}, -11.0, 90.0, 330.0, 1},
        {{300, 200}, {20, 20, 61, 180}, 2.2, 40.5, 100.2, 1},
        {{300, 200}, {20, 20, 27, 180}, -4.0, 23.5, 100.0, 1},
    };
    const unsigned fill = PlatformColour(10, 200, 30);
    const double fillBgr[3] = {30, 200, 10};
    for (const Case &k : cases) {
        QImage scan(k.scan, QImage::Format_BGR888);
        uint32_t seed = 9;
        for (int y = 0; y < scan.height(); ++y)
            for (int x = 0; x < scan.width() * 3; ++x)
                scan.scanLine(y)[x] = uchar((seed = seed * 1664525u + 1013904223u) >> 24);
        CardLean lean;
        lean.confident = true;
        lean.degrees = k.lean;
        lean.centreX = k.centreX;
        lean.centreY = k.centreY;
        QImage out(k.box.width(), k.box.height(), QImage::Format_BGR888);
        DrawStraightened(scan, k.box, lean, out, 0, 0, fill, k.cores);

        const double r = k.lean * 3.14159265358979 / 180, c = std::cos(r), s = std::sin(r);
        const int sx0 = std::max(k.box.left, 0), sx1 = std::min(k.box.right, scan.width());
        const int sy0 = std::max(k.box.top, 0), sy1 = std::min(k.box.bottom, scan.height());
        auto tap = [&](int x, int y, int ch) {
            return x >= sx0 && x < sx1 && y >= sy0 && y < sy1 ? double(scan.constScanLine(y)[3 * x + ch]) : fillBgr[ch];
        };
        int worst = 0, wx = 0, wy = 0;
        for (int ty = 0; ty < out.height(); ++ty)
            for (int tx = 0; tx < out.width(); ++tx) {
                const double px = k.box.left + tx - k.centreX, py = k.box.top + ty - k.centreY;
                const double sx = k.centreX + px * c - py * s, sy = k.centreY + px * s + py * c;
                const int ix = int(std::floor(sx)), iy = int(std::floor(sy));
                const double fx = sx - ix, fy = sy - iy;
                for (int ch = 0; ch < 3; ++ch) {
                    const double v = (tap(ix, iy, ch) * (1 - fx) + tap(ix + 1, iy, ch) * fx) * (1 - fy) +
                                     (tap(ix, iy + 1, ch) * (1 - fx) + tap(ix + 1, iy + 1, ch) * fx) * fy;
                    const int d = std::abs(int(out.constScanLine(ty)[3 * tx + ch]) - int(std::lround(v)));
                    if (d > worst)
                        worst = d, wx = tx, wy = ty;
                }
            }
        // Fractions of 1/64 across and 1/128 down: at most 255/64 off between extreme neighbours.
        EXPECT_LE(worst, 5) << "lean " << k.lean << " at " << wx << "," << wy;
    }
}

// Three cards in a row leaning alike, 1 to 3 mm apart at 300 dpi: every box
// holds corners of its neighbours, and every card still comes out upright;
// with whitening, nothing beside the card is left but white.
TEST(Straighten, CornersOfNeighboursInTheBoxChangeNothing)
{
    const QColor white(255, 255, 255), cream(236, 226, 198);
    for (const CardLook look : {CardLook::Plain, CardLook::Prayer})
        for (const double lean : {-10.0, -5.9, -2.0, 3.0, 5.9, 10.0}) {
            const int gap = MmToPixels(1 + std::abs(int(lean)) % 3, 300), w = 560, h = 800;
            std::vector<SyntheticCard> cards;
            const double r = lean * 3.14159265358979 / 180;
            for (int i = 0; i < 3; ++i) {
                SyntheticCard c;
                const QPointF centre(500 + i * (w + gap) * std::cos(r), 700 + i * (w + gap) * std::sin(r));
                c.rect = QRectF(centre.x() - w / 2.0, centre.y() - h / 2.0, w, h).toRect();
                c.lean = lean;
                c.look = look;
                c.border = c.face = cream;
                c.photo = true;
                c.number = i + 1;
                c.noise = 2;
                cards.push_back(c);
            }
            const QImage scan = MakeScan(2400, 1600, {255, 255, 255, 2, 3}, cards);
            DetectionSettings d;
            d.tolerance = 8;
            d.smart = true;
            ScanBoxList boxes = DetectItems(scan, {0, 0, scan.width(), scan.height()}, d);
            ASSERT_EQ(boxes.size(), 3u) << lean;
            CutOutSettings c;
            c.key = d.key();
            c.straighten = true;
            c.whiten = look == CardLook::Prayer;
            CutOutBoxes(scan, boxes, 3, nullptr, c, [&](const CardPictures &p) {
                EXPECT_LE(ResidualLean(p.joined, white, cream), 0.3) << "lean " << lean << " look " << int(look);
                // The margin band, 6 pixels in from the card's edge, is white all round.
                const QImage &q = p.joined;
                const int mx = (q.width() - w) / 2 - 6, my = (q.height() - h) / 2 - 6;
                int beside = 0;
                for (int y = 0; y < q.height(); ++y)
                    for (int x = 0; x < q.width(); ++x)
                        if ((x < mx || x >= q.width() - mx || y < my || y >= q.height() - my)
                            && PixelAt(q, x, y).g < 245)
                            ++beside;
                if (c.whiten)
                    EXPECT_EQ(beside, 0) << "lean " << lean;
            });
        }
}

// The back set straight once for reading goes into the card as it is: the card
// is byte for byte the one straightened afresh, beside or below its front.
TEST(Straighten, ABackStraightenedForReadingMakesTheSameCard)
{
    for (const double lean : {-7.0, 0.0, 3.5})
        for (const int placement : {0, 1}) {
            SCOPED_TRACE(lean + placement * 100);
            const Scene s{lean, QColor(128, 128, 128), QColor(236, 226, 198), false};
            const QImage scan = LeaningScan(s);
            DetectionSettings d;
            d.background = PlatformColour(128, 128, 128);
            d.tolerance = 8;
            const ScanBoxList boxes = DetectItems(scan, {0, 0, scan.width(), scan.height()}, d);
            ASSERT_EQ(boxes.size(), 1u);
            CutOutSettings c;
            c.key = d.key();
            c.background = d.background;
            c.straighten = c.sides = true;
            c.placement = placement;
            const QImage made = BoxAlone(scan, boxes[0], c);
            QImage work = scan, front = scan, work2 = scan, front2 = scan;
            const CardPictures fresh = MakeBoxPicture(work, boxes[0], &front, &boxes[0], c);
            const CardPictures reused = MakeBoxPicture(work2, boxes[0], &front2, &boxes[0], c, &made);
            EXPECT_TRUE(fresh.joined == reused.joined);
            EXPECT_TRUE(fresh.back == made);
            // And it is the one placed, not straightened anew.
            QImage marked = made.copy();
            marked.setPixel(0, 0, qRgb(1, 2, 3));
            QImage work3 = scan, front3 = scan;
            EXPECT_EQ(MakeBoxPicture(work3, boxes[0], &front3, &boxes[0], c, &marked).back.pixel(0, 0), qRgb(1, 2, 3));
        }
}
