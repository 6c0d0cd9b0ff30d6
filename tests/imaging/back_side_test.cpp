#include "imaging/picture.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

namespace {

bool Holds(const QImage &picture, const QImage &part, int x0, int y0)
{
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            if (PixelAt(picture, x0 + x, y0 + y) != PixelAt(part, x, y))
                return false;
    return true;
}

TEST(JoinBackSide, ToTheRightTheStripUnderTheFrontIsWhite)
{
    const QImage front = NumberedPicture(100, 50, 1);
    const QImage back = NumberedPicture(40, 80, 2);
    QImage joined = front.copy();
    JoinBackSide(joined, back, 0);
    ASSERT_EQ(joined.size(), QSize(140, 80));
    EXPECT_EQ(joined.format(), QImage::Format_BGR888);
    EXPECT_TRUE(Holds(joined, front, 0, 0));
    EXPECT_TRUE(Holds(joined, back, 100, 0));
    EXPECT_TRUE(AllWhite(joined, 0, 50, 100, 80));
}

TEST(JoinBackSide, BelowTheStripRightOfTheBackIsWhite)
{
    const QImage front = NumberedPicture(100, 50, 1);
    const QImage back = NumberedPicture(40, 80, 2);
    QImage joined = front.copy();
    JoinBackSide(joined, back, 1);
    ASSERT_EQ(joined.size(), QSize(100, 130));
    EXPECT_TRUE(Holds(joined, front, 0, 0));
    EXPECT_TRUE(Holds(joined, back, 0, 50));
    EXPECT_TRUE(AllWhite(joined, 40, 50, 100, 130));
    // Any placement above 0 counts as below.
    QImage again = front.copy();
    JoinBackSide(again, back, 2);
    EXPECT_TRUE(SamePixels(again, joined));
}

TEST(JoinBackSide, AScannedPageWithItsBackBelowAndRight)
{
    const QImage front = NumberedPicture(1000, 1400, 3);
    const QImage back = NumberedPicture(1000, 1500, 4);
    QImage right = front.copy();
    JoinBackSide(right, back, 0);
    ASSERT_EQ(right.size(), QSize(2000, 1500));
    EXPECT_TRUE(AllWhite(right, 0, 1400, 1000, 1500));
    EXPECT_TRUE(Holds(right, back, 1000, 0));
    QImage below = front.copy();
    JoinBackSide(below, back, 1);
    ASSERT_EQ(below.size(), QSize(1000, 2900));
    EXPECT_TRUE(Holds(below, back, 0, 1400));
}

TEST(JoinBackSide, TheFrontPicturesResolutionIsKept)
{
    QImage front = NumberedPicture(6, 4);
    front.setDotsPerMeterX(23622);
    front.setDotsPerMeterY(23622);
    JoinBackSide(front, NumberedPicture(3, 2), 0);
    EXPECT_EQ(front.dotsPerMeterX(), 23622);
}
}
