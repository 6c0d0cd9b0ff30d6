#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "synthetic_scan.h"

#include <gtest/gtest.h>

namespace {

CutOutSettings Cutting(bool whiten, unsigned background = 0xFFFFFF, int placement = 0, int columns = 0)
{
    CutOutSettings s;
    s.whiten = whiten;
    s.background = background;
    s.key = BackgroundKey::fromColour(background, 3);
    s.placement = placement;
    s.columns = columns;
    return s;
}

QImage Region(const QImage &p, const ScanBox &b) { return p.copy(b.left, b.top, b.width(), b.height()); }

bool AllOfColour(const QImage &p, const QRect &r, int red, int green, int blue)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const Bgr c = PixelAt(p, x, y);
            if (c.r != red || c.g != green || c.b != blue)
                return false;
        }
    return true;
}

std::vector<QImage> CutAll(const QImage &scan, ScanBoxList &boxes, const FrontSide *front, const CutOutSettings &s,
                           QImage *work = nullptr)
{
    std::vector<QImage> saved;
    const QImage w = CutOutBoxes(scan, boxes, int(boxes.size()), front, s, [&](const CardPictures &c) { saved.push_back(c.joined); });
    if (work)
        *work = w;
    return saved;
}

} // namespace

TEST(CutOut, FrontPassSavesEveryBareBoxInReadingOrder)
{
    const QImage scan = MakeScan(600, 400, {}, CardGrid(2, 1, 50, 50, 200, 300, 100, 0));
    ScanBoxList boxes = {{350, 40, 560, 360}, {40, 40, 260, 360}};
    const auto saved = CutAll(scan, boxes, nullptr, Cutting(false, 0xFFFFFF, 0, 2));
    ASSERT_EQ(saved.size(), 2u);
    // Ordered in place by columns.
    EXPECT_EQ(boxes[0], (ScanBox{40, 40, 260, 360}));
    EXPECT_EQ(saved[0].format(), QImage::Format_BGR888);
    EXPECT_EQ(saved[0], Region(scan, boxes[0]));
    EXPECT_EQ(saved[1], Region(scan, boxes[1]));
}

TEST(CutOut, NoBoxesNothingSaved)
{
    const QImage scan = MakeScan(50, 50, {}, {});
    ScanBoxList boxes;
    EXPECT_TRUE(CutAll(scan, boxes, nullptr, Cutting(true)).empty());
}

TEST(CutOut, BackBesideOrBelowItsFrontWithFillWhereNeitherLies)
{
    QImage front(300, 300, QImage::Format_BGR888);
    front.fill(Qt::black);
    FillRect(front, QRect(10, 10, 100, 150), 200, 0, 0);
    QImage back(300, 300, QImage::Format_BGR888);
    back.fill(Qt::black);
    FillRect(back, QRect(20, 20, 80, 100), 0, 200, 0);
    const ScanBoxList fronts = {{10, 10, 110, 160}};
    const FrontSide side{&front, &fronts, 1};

    // "Rechts": as high as the front, a strip of fill under the lower back.
    ScanBoxList boxes = {{20, 20, 100, 120}};
    auto saved = CutAll(back, boxes, &side, Cutting(false, 0x000000, 0));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].size(), QSize(180, 150));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(0, 0, 100, 150), 200, 0, 0));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(100, 0, 80, 100), 0, 200, 0));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(100, 100, 80, 50), 0, 0, 0));

    // "Onder": as wide as the front, the back at (0, front height).
    boxes = {{20, 20, 100, 120}};
    saved = CutAll(back, boxes, &side, Cutting(false, 0x000000, 1));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].size(), QSize(100, 250));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(0, 150, 80, 100), 0, 200, 0));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(80, 150, 20, 100), 0, 0, 0));

    // Whitening: the fill is white and so is the margin.
    boxes = {{10, 10, 110, 130}};
    saved = CutAll(back, boxes, &side, Cutting(true, 0x000000, 0));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].size(), QSize(200, 150));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(100, 0, 10, 10), 255, 255, 255));   // whitened margin
    EXPECT_TRUE(AllOfColour(saved[0], QRect(100, 120, 100, 30), 255, 255, 255)); // fill
    EXPECT_TRUE(AllOfColour(saved[0], QRect(110, 10, 80, 100), 0, 200, 0));
}

TEST(CutOut, WhiteningChangesTheStoredFrontScanButNotTheCleanScan)
{
    QImage front(100, 100, QImage::Format_BGR888);
    front.fill(Qt::black);
    FillRect(front, QRect(30, 30, 40, 40), 90, 90, 90);
    const QImage cleanBack = front;
    const ScanBoxList fronts = {{20, 20, 80, 80}};
    const FrontSide side{&front, &fronts, 1};
    ScanBoxList boxes = {{20, 20, 80, 80}};
    QImage work;
    CutAll(cleanBack, boxes, &side, Cutting(true, 0x000000), &work);
    EXPECT_EQ(PixelAt(front, 25, 25).r, 255);
    EXPECT_EQ(PixelAt(front, 5, 5).r, 0);        // outside the partner's rectangle
    EXPECT_EQ(PixelAt(cleanBack, 25, 25).r, 0);  // the clean scan is only copied
    EXPECT_EQ(PixelAt(work, 25, 25).r, 255);     // the working copy shows it
}

TEST(CutOut, BoxBeyondThePictureShowsTheFillThere)
{
    QImage scan(100, 100, QImage::Format_BGR888);
    scan.fill(QColor(10, 20, 30));
    const unsigned glass = PlatformColour(10, 20, 30);
    ScanBoxList boxes = {{-20, -10, 40, 120}};
    const auto saved = CutAll(scan, boxes, nullptr, Cutting(false, glass));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].size(), QSize(60, 130));
    EXPECT_TRUE(AllOfColour(saved[0], QRect(0, 0, 60, 130), 10, 20, 30));

    FillRect(scan, QRect(0, 0, 40, 100), 1, 2, 3);
    boxes = {{-20, -10, 40, 120}};
    const auto whitened = CutAll(scan, boxes, nullptr, Cutting(true, PlatformColour(1, 2, 3)));
    EXPECT_TRUE(AllOfColour(whitened[0], QRect(0, 0, 60, 130), 255, 255, 255));
}

TEST(CutOut, SharedNearestFrontAppearsInBothPictures)
{
    QImage front(400, 100, QImage::Format_BGR888);
    front.fill(Qt::white);
    FillRect(front, QRect(0, 0, 100, 100), 200, 0, 0);
    FillRect(front, QRect(300, 0, 100, 100), 0, 0, 200);
    const ScanBoxList fronts = {{0, 0, 100, 100}, {300, 0, 400, 100}};
    const FrontSide side{&front, &fronts, 2};
    QImage back(400, 100, QImage::Format_BGR888);
    back.fill(Qt::white);
    ScanBoxList boxes = {{0, 0, 50, 100}, {60, 0, 110, 100}, {350, 0, 400, 100}};
    const auto saved = CutAll(back, boxes, &side, Cutting(false));
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_TRUE(AllOfColour(saved[0], QRect(0, 0, 100, 100), 200, 0, 0));
    EXPECT_TRUE(AllOfColour(saved[1], QRect(0, 0, 100, 100), 200, 0, 0));
    EXPECT_TRUE(AllOfColour(saved[2], QRect(0, 0, 100, 100), 0, 0, 200));
}

TEST(CutOut, NoConfirmedFrontsSavesEveryBackAlone)
{
    QImage front;
    const ScanBoxList fronts;
    const FrontSide side{&front, &fronts, 0};
    const QImage back = MakeScan(300, 200, {}, {{QRect(20, 20, 100, 100)}});
    ScanBoxList boxes = {{10, 10, 130, 130}};
    const auto saved = CutAll(back, boxes, &side, Cutting(false));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0], Region(back, boxes[0]));
}

// The whole series: fronts found on a 600-dpi scan, backs on a 300-dpi scan
// where the group lies elsewhere; every saved picture holds a card's own front
// and back, unscaled.
TEST(CutOut, SeriesOfCardsScannedAtTwoResolutionsPairEachCardWithItself)
{
    const auto frontCards = CardGrid(3, 2, 200, 300, 600, 900, 200, 250);
    auto backCards = Moved(frontCards, 0.5, 700, 400);
    for (size_t i = 0; i < backCards.size(); ++i)
        backCards[i].shade = uint8_t(150 - 10 * i);   // backs told apart from fronts
    const QImage frontScan0 = MakeScan(2800, 3000, {}, frontCards);
    const QImage backScan = MakeScan(2800, 3000, {}, backCards);

    DetectionSettings ds;
    ds.columns = 3;
    ScanBoxList fronts = DetectItems(frontScan0, {0, 0, 2800, 3000}, ds);
    OrderBoxes(fronts, ds.columns);
    ScanBoxList backs = DetectItems(backScan, {0, 0, 2800, 3000}, ds);
    ASSERT_EQ(fronts.size(), 6u);
    ASSERT_EQ(backs.size(), 6u);

    QImage frontScan = frontScan0;
    const FrontSide side{&frontScan, &fronts, int(fronts.size())};
    const auto saved = CutAll(backScan, backs, &side, Cutting(false, 0xFFFFFF, 0, 3));
    ASSERT_EQ(saved.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        const ScanBox &f = fronts[i];
        const ScanBox &b = backs[i];
        EXPECT_EQ(saved[i].size(), QSize(f.width() + b.width(), std::max(f.height(), b.height())));
        EXPECT_EQ(saved[i].copy(0, 0, f.width(), f.height()), Region(frontScan0, f)) << i;
        EXPECT_EQ(saved[i].copy(f.width(), 0, b.width(), b.height()), Region(backScan, b)) << i;
        // And it is card i on both sides: the text rows carry its shade.
        const QRect fc = frontCards[i].rect.translated(-f.left, -f.top);
        const QRect bc = backCards[i].rect.translated(-b.left + f.width(), -b.top);
        const QPoint probeF = fc.center(), probeB = bc.center();
        bool frontShade = false, backShade = false;
        for (int dy = -fc.height() / 8; dy <= fc.height() / 8; ++dy)
            frontShade |= PixelAt(saved[i], probeF.x(), probeF.y() + dy).r == frontCards[i].shade;
        for (int dy = -bc.height() / 8; dy <= bc.height() / 8; ++dy)
            backShade |= PixelAt(saved[i], probeB.x(), probeB.y() + dy).r == backCards[i].shade;
        EXPECT_TRUE(frontShade) << i;
        EXPECT_TRUE(backShade) << i;
    }
}

TEST(CutOut, JoinedPictureWithBothSidesReachingBeyondTheirScans)
{
    QImage front(100, 100, QImage::Format_BGR888);
    front.fill(QColor(200, 0, 0));
    QImage back(100, 100, QImage::Format_BGR888);
    back.fill(QColor(0, 200, 0));
    const ScanBoxList fronts = {{-10, 50, 40, 130}};   // 50 x 80, left 10 and lowest 30 rows outside
    const FrontSide side{&front, &fronts, 1};
    ScanBoxList boxes = {{80, -20, 120, 40}};           // 40 x 60, right 20 and top 20 outside
    const auto saved = CutAll(back, boxes, &side, Cutting(false, PlatformColour(1, 2, 3), 0));
    ASSERT_EQ(saved.size(), 1u);
    const QImage &p = saved[0];
    ASSERT_EQ(p.size(), QSize(90, 80));
    EXPECT_TRUE(AllOfColour(p, QRect(0, 0, 10, 80), 1, 2, 3));
    EXPECT_TRUE(AllOfColour(p, QRect(10, 0, 40, 50), 200, 0, 0));
    EXPECT_TRUE(AllOfColour(p, QRect(10, 50, 40, 30), 1, 2, 3));
    EXPECT_TRUE(AllOfColour(p, QRect(50, 0, 40, 20), 1, 2, 3));
    EXPECT_TRUE(AllOfColour(p, QRect(50, 20, 20, 40), 0, 200, 0));
    EXPECT_TRUE(AllOfColour(p, QRect(70, 20, 20, 40), 1, 2, 3));
    EXPECT_TRUE(AllOfColour(p, QRect(50, 60, 40, 20), 1, 2, 3));
}

TEST(CutOut, StopLeavesTheRemainingBoxes)
{
    const QImage scan = MakeScan(600, 400, {}, CardGrid(2, 1, 50, 50, 200, 300, 100, 0));
    ScanBoxList boxes = {{350, 40, 560, 360}, {40, 40, 260, 360}};
    int saved = 0;
    CutOutBoxes(scan, boxes, 2, nullptr, Cutting(false, 0xFFFFFF, 0, 2), [&](const CardPictures &) { ++saved; },
                [&] { return saved == 1; });
    EXPECT_EQ(saved, 1);
}
