#include "detection/box_drawing.h"
#include "detection/colour_match.h"
#include "synthetic_scan.h"

#include <gtest/gtest.h>

TEST(TrailingNumber, DigitsAtTheEndOfTheNameWithoutExtension)
{
    EXPECT_EQ(TrailingNumber("kaart017.jpg"), 17);
    EXPECT_EQ(TrailingNumber("kaart"), 0);
    EXPECT_EQ(TrailingNumber("2024.jpg"), 2024);
    EXPECT_EQ(TrailingNumber("scan.old12.jpg"), 12);
    EXPECT_EQ(TrailingNumber("12scan.jpg"), 0);
    EXPECT_EQ(TrailingNumber("kaart5"), 5);
    EXPECT_EQ(TrailingNumber(""), 0);
    EXPECT_GT(TrailingNumber("n99999999999999999999999999"), 0);   // does not overflow into nonsense
}

namespace {
int CountColour(const QImage &p, const QRect &r, int red, int green, int blue)
{
    int n = 0;
    const QRect c = r.intersected(p.rect());
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x) {
            const Bgr v = PixelAt(p, x, y);
            n += v.r == red && v.g == green && v.b == blue;
        }
    return n;
}
} // namespace

TEST(DrawNumberedBoxes, OutlineInTheBoxColourWithThePenWidthOfThePicture)
{
    QImage p(1500, 1000, QImage::Format_BGR888);
    p.fill(Qt::white);
    const ScanBoxList boxes = {{100, 100, 600, 900}, {800, 100, 1300, 400}};
    DrawNumberedBoxes(p, boxes, 2, 17, PlatformColour(255, 0, 0));
    EXPECT_EQ(p.format(), QImage::Format_BGR888);
    // Pen 10 pixels wide: a run of red across the left edge, around x = 100.
    const int redAcrossEdge = CountColour(p, QRect(80, 500, 40, 1), 255, 0, 0);
    EXPECT_GE(redAcrossEdge, 9);
    EXPECT_LE(redAcrossEdge, 11);
    // The middle of a box and everything well outside stay white.
    EXPECT_EQ(CountColour(p, QRect(300, 600, 100, 100), 255, 255, 255), 100 * 100);
    EXPECT_EQ(CountColour(p, QRect(0, 950, 1500, 50), 255, 255, 255), 1500 * 50);
    // A number is written just inside the top-left corner of each box, about a
    // tenth of the box high.
    EXPECT_GT(CountColour(p, QRect(106, 106, 80, 80), 255, 0, 0), 20);
    EXPECT_GT(CountColour(p, QRect(806, 106, 60, 30), 255, 0, 0), 10);
}

TEST(DrawNumberedBoxes, ThinPenOnSmallPicturesAndBoxesBeyondTheEdge)
{
    QImage p(100, 100, QImage::Format_BGR888);
    p.fill(Qt::white);
    const ScanBoxList boxes = {{-20, -20, 50, 50}, {60, 60, 140, 140}};
    DrawNumberedBoxes(p, boxes, 2, 0, PlatformColour(0, 0, 255));
    // One pixel pen: the edges of the first box at x = 49 and y = 49.
    EXPECT_EQ(CountColour(p, QRect(40, 30, 20, 1), 0, 0, 255), 1);
    EXPECT_EQ(CountColour(p, QRect(30, 40, 1, 20), 0, 0, 255), 1);
    EXPECT_GT(CountColour(p, QRect(60, 60, 40, 40), 0, 0, 255), 0);
}

TEST(DrawNumberedBoxes, NothingToDrawLeavesThePicture)
{
    QImage p(50, 50, QImage::Format_BGR888);
    p.fill(Qt::white);
    const QImage before = p;
    DrawNumberedBoxes(p, {{0, 0, 10, 10}}, 0, 1, 0xFF);
    EXPECT_EQ(p, before);
    QImage none;
    DrawNumberedBoxes(none, {{0, 0, 10, 10}}, 1, 1, 0xFF);
    EXPECT_TRUE(none.isNull());
}
