#include "detection/item_detection.h"
#include "synthetic_scan.h"
#include "common/log_capture.h"

#include <gtest/gtest.h>

namespace {

PixelSelection Whole(const QImage &p) { return {0, 0, p.width(), p.height()}; }

DetectionSettings Settings(int margin = 2, int minSize = 50, unsigned background = 0xFFFFFF, int tolerance = 3)
{
    DetectionSettings s;
    s.marginPercent = margin;
    s.minSize = minSize;
    s.background = background;
    s.tolerance = tolerance;
    return s;
}

} // namespace

TEST(ColourMatch, ToleranceIsInclusivePerChannel)
{
    const BackgroundKey white = BackgroundKey::fromColour(0xFFFFFF, 3);
    EXPECT_TRUE(white.matches(252, 255, 255));
    EXPECT_FALSE(white.matches(251, 255, 255));
    EXPECT_FALSE(white.matches(255, 251, 255));
    EXPECT_FALSE(white.matches(255, 255, 251));

    // Platform colour: blue * 65536 + green * 256 + red.
    const BackgroundKey k = BackgroundKey::fromColour(PlatformColour(10, 100, 200), 0);
    EXPECT_TRUE(k.matches(10, 100, 200));
    EXPECT_FALSE(k.matches(200, 100, 10));
    const uint8_t bgr[3] = {200, 100, 10};
    EXPECT_TRUE(k.matchesBgr(bgr));
}

TEST(ItemDetection, EmptyGlassWithNoiseWithinToleranceGivesNoBox)
{
    for (const SyntheticGlass glass : {SyntheticGlass{255, 255, 255, 3, 7}, SyntheticGlass{30, 40, 200, 3, 8}}) {
        const QImage scan = MakeScan(1000, 1400, glass, {});
        EXPECT_TRUE(DetectItems(scan, Whole(scan), Settings(2, 50, PlatformColour(glass.red, glass.green, glass.blue)))
                        .empty());
    }
}

TEST(ItemDetection, OffColourGlassJustOutsideToleranceIsOneItem)
{
    QImage scan(800, 800, QImage::Format_BGR888);
    scan.fill(QColor(252, 255, 255));
    EXPECT_TRUE(DetectItems(scan, Whole(scan), Settings()).empty());
    scan.fill(QColor(251, 255, 255));
    const ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings(0, 50));
    ASSERT_EQ(boxes.size(), 1u);
    // Sampled cells run from 1 to 198 for the whole picture.
    EXPECT_EQ(boxes[0], (ScanBox{4, 4, 792, 792}));
}

TEST(ItemDetection, CardsInRowsAndColumnsGiveExactBoxesInDiscoveryOrder)
{
    const int W = 2500, H = 3500;
    const auto cards = CardGrid(3, 2, 150, 200, 600, 900, 150, 300);
    const QImage scan = MakeScan(W, H, {}, cards);
    const ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings());
    ASSERT_EQ(boxes.size(), cards.size());
    const int m = W * 2 / 100;
    EXPECT_EQ(m, 50);
    for (size_t i = 0; i < cards.size(); ++i)
        EXPECT_EQ(boxes[i], ExpectedBox(cards[i].rect, W, H, m)) << "card " << i;
}

TEST(ItemDetection, GlassOfAnyColourWithNoise)
{
    const SyntheticGlass blackGlass{8, 8, 8, 3, 3};
    const auto cards = CardGrid(2, 2, 100, 100, 500, 700, 120, 120);
    const QImage scan = MakeScan(1500, 1800, blackGlass, cards);
    const ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings(1, 50, PlatformColour(8, 8, 8), 4));
    ASSERT_EQ(boxes.size(), 4u);
    for (size_t i = 0; i < cards.size(); ++i)
        EXPECT_EQ(boxes[i], ExpectedBox(cards[i].rect, 1500, 1800, 15));
}

TEST(ItemDetection, SameBoxesWhateverThePixelFormat)
{
    const auto cards = CardGrid(2, 1, 100, 100, 300, 400, 100, 0);
    const QImage scan = MakeScan(1000, 700, {}, cards);
    const ScanBoxList expected = DetectItems(scan, Whole(scan), Settings());
    ASSERT_EQ(expected.size(), 2u);
    for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_ARGB32})
        EXPECT_EQ(DetectItems(scan.convertToFormat(f), Whole(scan), Settings()), expected) << int(f);
}

TEST(ItemDetection, ItemCrossingTheSelectionIsCutAtTheSampledArea)
{
    const int W = 2000, H = 2000;   // 10 pixels per cell
    const QImage scan = MakeScan(W, H, {}, {{QRect(0, 0, 1200, 1200)}, {QRect(1500, 1500, 300, 300)}});
    // Frame from pixel 500 to 1000: cells 51..98 are sampled, seeds 52..97.
    const ScanBoxList boxes = DetectItems(scan, {500, 500, 1000, 1000}, Settings(0, 10));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (ScanBox{510, 510, 980, 980}));
}

TEST(ItemDetection, SelectionBeyondThePictureActsAsTheWholeSide)
{
    const auto cards = CardGrid(2, 1, 100, 100, 300, 400, 100, 0);
    const QImage scan = MakeScan(1000, 700, {}, cards);
    EXPECT_EQ(DetectItems(scan, {-300, -50, 5000, 9000}, Settings()), DetectItems(scan, Whole(scan), Settings()));
}

TEST(ItemDetection, ItemsTooFlatForASeedGiveNoBox)
{
    const int W = 2000, H = 2000;   // cells 10 pixels apart
    // Two cells high (rows 50, 51) and a column one cell wide: no seed anywhere.
    const QImage flat = MakeScan(W, H, {}, {{QRect(200, 500, 1200, 15)}, {QRect(1700, 200, 5, 1500)}});
    EXPECT_TRUE(DetectItems(flat, Whole(flat), Settings(0, 1)).empty());
    // Three cells high, two wide, is enough.
    const QImage thick = MakeScan(W, H, {}, {{QRect(200, 500, 15, 25)}});
    const ScanBoxList boxes = DetectItems(thick, Whole(thick), Settings(0, 1));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (ScanBox{200, 500, 210, 520}));
}

TEST(ItemDetection, MarginAndMinimumSize)
{
    const int W = 2500, H = 2500;
    const QImage scan = MakeScan(W, H, {}, {{QRect(1000, 1000, 40, 40)}});
    // m = 50: the small item's box is 137 wide and passes the minimum.
    ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings(2, 50));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], ExpectedBox(QRect(1000, 1000, 40, 40), W, H, 50));
    // Without margin its own extent (37 pixels) must reach the minimum.
    EXPECT_TRUE(DetectItems(scan, Whole(scan), Settings(0, 50)).empty());
    boxes = DetectItems(scan, Whole(scan), Settings(0, 37));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].width(), 37);
}

TEST(ItemDetection, BoxesReachBeyondThePictureUnlessTheyCannotBeHeld)
{
    const int W = 1000, H = 1000;
    const QImage scan = MakeScan(W, H, {}, {{QRect(0, 0, 200, 200)}, {QRect(800, 800, 200, 200)}});
    const struct {
        int margin;
        qint64 boxBytes;
        ScanBox first, second;
        bool logged;
    } cases[] = {
        {0, 0, {5, 5, 195, 195}, {800, 800, 990, 990}, false},
        {10, 0, {-95, -95, 295, 295}, {700, 700, 1090, 1090}, false},
        {10, 3 * 390 * 390, {-95, -95, 295, 295}, {700, 700, 1090, 1090}, false},
        // A picture memory cannot hold, and a box int cannot hold: cut to the scan.
        {10, 3 * 390 * 389, {0, 0, 295, 295}, {700, 700, 1000, 1000}, true},
        {2000000000, 0, {0, 0, 1000, 1000}, {0, 0, 1000, 1000}, true},
    };
    for (const auto &c : cases) {
        LogCapture log;
        DetectionSettings s = Settings(c.margin);
        s.boxPictureBytes = c.boxBytes;
        const ScanBoxList boxes = DetectItems(scan, Whole(scan), s);
        ASSERT_EQ(boxes.size(), 2u) << c.margin;
        EXPECT_EQ(boxes[0], c.first) << c.margin;
        EXPECT_EQ(boxes[1], c.second) << c.margin;
        EXPECT_EQ(log.lines().size(), c.logged ? 2 : 0) << c.margin;
        if (c.logged) {
            EXPECT_TRUE(log.lines()[0].startsWith(QStringLiteral("Vak 1 reikt met een rand van"))) << c.margin;
        }
    }
}

TEST(ItemDetection, EverythingInsideAnOutlineBelongsToIt)
{
    // A frame-shaped item with a hole holding a small card: the hole and the
    // card are claimed by the frame, so there is one box.
    const int W = 2000, H = 2000;
    QImage scan = MakeScan(W, H, {}, {});
    FillRect(scan, QRect(300, 300, 1000, 1000), 90, 60, 30);
    FillRect(scan, QRect(400, 400, 800, 800), 255, 255, 255);
    FillRect(scan, QRect(700, 700, 200, 200), 30, 30, 30);
    const ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings(0, 10));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (ScanBox{300, 300, 1290, 1290}));
}

TEST(ItemDetection, LongWindingOutlineIsTracedWhole)
{
    // A comb: one spine with many teeth gives an outline of thousands of cells.
    const int W = 2000, H = 2000;
    QImage scan = MakeScan(W, H, {}, {});
    FillRect(scan, QRect(100, 100, 1800, 40), 0, 0, 0);
    for (int x = 100; x < 1900; x += 100)
        FillRect(scan, QRect(x, 100, 20, 1000), 0, 0, 0);
    const ScanBoxList boxes = DetectItems(scan, Whole(scan), Settings(0, 10));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (ScanBox{100, 100, 1890, 1090}));
}

TEST(ItemDetection, DetectorKeptBetweenRunsStartsAfresh)
{
    ItemDetector detector;
    const QImage a = MakeScan(1000, 1000, {}, CardGrid(2, 2, 100, 100, 300, 300, 100, 100));
    const QImage b = MakeScan(1000, 1000, {}, {{QRect(600, 100, 200, 300)}});
    EXPECT_EQ(detector.detect(a, Whole(a), Settings()).size(), 4u);
    EXPECT_EQ(detector.detect(b, Whole(b), Settings()), DetectItems(b, Whole(b), Settings()));
    EXPECT_TRUE(detector.detect(QImage(), {0, 0, 10, 10}, Settings()).empty());
}
