#include "imaging/picture.h"

#include <gtest/gtest.h>

namespace {

void ExpectRect(const FitRectangle &r, int x, int y, int w, int h)
{
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
}

TEST(FitRect, FillsTheWidthOrTheHeightKeepingProportions)
{
    ExpectRect(FitRect(200, 100, 400, 400), 0, 100, 400, 200);
    ExpectRect(FitRect(100, 200, 400, 400), 100, 0, 200, 400);
    ExpectRect(FitRect(4000, 3000, 400, 300), 0, 0, 400, 300);
    // Truncating division.
    ExpectRect(FitRect(3, 7, 10, 10), 3, 0, 4, 10);
}

TEST(FitRect, AnEmptySourceIsCentredAsItIs)
{
    ExpectRect(FitRect(0, 50, 300, 200), 150, 75, 0, 50);
    ExpectRect(FitRect(50, 0, 300, 200), 0, 100, 300, 0);
}

TEST(FitRect, HugePicturesDoNotOverflow)
{
    ExpectRect(FitRect(30000, 40000, 60000, 80000), 0, 0, 60000, 80000);
}
}
