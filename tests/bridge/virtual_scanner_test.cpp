// The virtual flatbed: a page detection can rely on (pure white glass, cards
// clearly not white, clear gaps) and the same cards turned over in place.
#include "scanner/bridge/scan_runner.h"
#include "scanner/bridge/virtual_scanner.h"

#include <gtest/gtest.h>

namespace {

bool nearWhite(const uchar *p) { return p[0] >= 252 && p[1] >= 252 && p[2] >= 252; }

} // namespace

TEST(VirtualScanner, PageIsTheGlassAtTheRequestedResolution)
{
    EXPECT_EQ(VirtualScanPage(600, false).size(), QSize(5102, 7016));
    const QImage page = VirtualScanPage(100, true);
    EXPECT_EQ(page.size(), QSize(850, 1169));
    EXPECT_EQ(page.format(), QImage::Format_BGR888);
}

TEST(VirtualScanner, GlassIsPureWhiteAndCardsAreNeverNearWhite)
{
    for (bool back : {false, true}) {
        const int dpi = 60;
        const QImage page = VirtualScanPage(dpi, back);
        const std::vector<QRect> cards = VirtualCardRects(dpi);
        ASSERT_EQ(cards.size(), 6u);
        for (int y = 0; y < page.height(); ++y) {
            const uchar *row = page.constScanLine(y);
            for (int x = 0; x < page.width(); ++x) {
                const bool onCard = std::any_of(cards.begin(), cards.end(), [&](const QRect &r) { return r.contains(x, y); });
                const uchar *p = row + 3 * x;
                if (onCard)
                    ASSERT_FALSE(nearWhite(p)) << x << "," << y;
                else
                    ASSERT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255) << x << "," << y;
            }
        }
    }
}

TEST(VirtualScanner, CardsLieInTwoRowsOfThreeWithClearGaps)
{
    const int dpi = 254;  // ten pixels per millimetre
    const std::vector<QRect> cards = VirtualCardRects(dpi);
    const QRect glass(0, 0, 2160, 2970);
    for (size_t i = 0; i < cards.size(); ++i) {
        const QRect &c = cards[i];
        EXPECT_GE(c.left(), 100);
        EXPECT_GE(c.top(), 100);
        EXPECT_LE(c.right() + 1, glass.width() - 100);
        EXPECT_LE(c.bottom() + 1, glass.height() - 100);
        EXPECT_NEAR(c.width(), 600, 60);
        EXPECT_NEAR(c.height(), 1000, 100);
        for (size_t j = i + 1; j < cards.size(); ++j)
            EXPECT_FALSE(c.adjusted(-100, -100, 100, 100).intersects(cards[j])) << i << " and " << j;
    }
    // Reading order: three across, then the next row.
    EXPECT_LT(cards[0].left(), cards[1].left());
    EXPECT_LT(cards[1].left(), cards[2].left());
    EXPECT_GT(cards[3].top(), cards[0].bottom());
}

TEST(VirtualScanner, FrontAndBackDifferOnEveryCard)
{
    const QImage front = VirtualScanPage(50, false), back = VirtualScanPage(50, true);
    for (const QRect &r : VirtualCardRects(50))
        EXPECT_NE(front.copy(r), back.copy(r));
    EXPECT_EQ(front, VirtualScanPage(50, false));  // the same every time
}

TEST(VirtualScanner, DeviceScansTheChosenSideThenTheOther)
{
    auto dev = OpenVirtualScanner();
    ASSERT_EQ(SetNumericOption(*dev, SANE_NAME_SCAN_RESOLUTION, 40), SANE_STATUS_GOOD);
    ASSERT_EQ(SetStringOption(*dev, "side", "Achterkant"), SANE_STATUS_GOOD);
    ScanControl control;
    ScanOutcome o = RunScan(*dev, control);
    ASSERT_EQ(o.kind, ScanOutcome::Done);
    EXPECT_EQ(o.dpi, 40);
    EXPECT_EQ(o.image, VirtualScanPage(40, true));
    o = RunScan(*dev, control);
    EXPECT_EQ(o.image, VirtualScanPage(40, false));
    EXPECT_NE(SetStringOption(*dev, "side", "Zijkant"), SANE_STATUS_GOOD);
}
