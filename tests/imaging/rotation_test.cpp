#include "imaging/picture.h"
#include "test_pictures.h"

#include <QTransform>

#include <gtest/gtest.h>

namespace {

struct Size { int w, h; };
const Size kSizes[] = {{1, 1}, {3, 2}, {2, 3}, {5, 1}, {1, 7}, {6, 4}, {7, 8}, {9, 9}, {10, 5}, {33, 65}, {70, 31}, {101, 64}};

TEST(Rotation, FourQuarterTurnsRightGiveTheStartBack)
{
    for (const Size s : kSizes) {
        const QImage start = NumberedPicture(s.w, s.h);
        QImage picture = start.copy();
        for (int i = 0; i < 4; ++i)
            RotateQuarterRight(picture);
        EXPECT_TRUE(SamePixels(picture, start)) << s.w << "x" << s.h;
    }
}

TEST(Rotation, TwoHalfTurnsAndLeftAfterRightGiveTheStartBack)
{
    for (const Size s : kSizes) {
        const QImage start = NumberedPicture(s.w, s.h);
        QImage picture = start.copy();
        RotateHalf(picture);
        RotateHalf(picture);
        EXPECT_TRUE(SamePixels(picture, start)) << s.w << "x" << s.h;
        RotateQuarterRight(picture);
        RotateQuarterLeft(picture);
        EXPECT_TRUE(SamePixels(picture, start)) << s.w << "x" << s.h;
    }
}

TEST(Rotation, EveryPixelGoesWhereTheTurnSays)
{
    const int W = 37, H = 23;
    const QImage start = NumberedPicture(W, H);
    QImage right = start.copy(), left = start.copy(), half = start.copy();
    RotateQuarterRight(right);
    RotateQuarterLeft(left);
    RotateHalf(half);
    ASSERT_EQ(right.size(), QSize(H, W));
    ASSERT_EQ(left.size(), QSize(H, W));
    ASSERT_EQ(half.size(), QSize(W, H));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint32_t p = PixelAt(start, x, y);
            ASSERT_EQ(PixelAt(right, H - 1 - y, x), p);
            ASSERT_EQ(PixelAt(left, y, W - 1 - x), p);
            ASSERT_EQ(PixelAt(half, W - 1 - x, H - 1 - y), p);
        }
    }
}

TEST(Rotation, ThreeByTwoTurnedRightHasItsTopLeftPixelAtTheTopRight)
{
    QImage picture = NumberedPicture(3, 2);
    const uint32_t topLeft = PixelAt(picture, 0, 0);
    RotateQuarterRight(picture);
    EXPECT_EQ(picture.size(), QSize(2, 3));
    EXPECT_EQ(PixelAt(picture, 1, 0), topLeft);
    EXPECT_EQ(picture.format(), QImage::Format_BGR888);
}

TEST(Rotation, OtherPixelFormatsAreMadeTwentyFourBitFirst)
{
    QImage grey(4, 3, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << qRgb(i, i, i);
    grey.setColorTable(table);
    grey.fill(0);
    grey.setPixel(0, 0, 200);
    RotateQuarterRight(grey);
    ASSERT_EQ(grey.format(), QImage::Format_BGR888);
    EXPECT_EQ(grey.size(), QSize(3, 4));
    EXPECT_EQ(PixelAt(grey, 2, 0), 0xC8C8C8u);

    QImage argb(2, 2, QImage::Format_RGB32);
    argb.fill(qRgb(10, 20, 30));
    RotateHalf(argb);
    ASSERT_EQ(argb.format(), QImage::Format_BGR888);
    EXPECT_EQ(PixelAt(argb, 1, 1), 0x0A141Eu);   // bytes blue, green, red
}

TEST(Rotation, AHalfTurnLeavesAPictureThatSharedItsPixelsAlone)
{
    const QImage start = NumberedPicture(9, 5);
    QImage picture = start.copy();
    const QImage clean = picture;   // shares pixels, as the clean scan does
    RotateHalf(picture);
    EXPECT_TRUE(SamePixels(clean, start));
    EXPECT_FALSE(SamePixels(picture, start));
    RotateQuarterLeft(picture);
    EXPECT_TRUE(SamePixels(clean, start));
}

TEST(Rotation, QuarterTurnsSwapTheResolutions)
{
    QImage picture = NumberedPicture(4, 2);
    picture.setDotsPerMeterX(11811);
    picture.setDotsPerMeterY(23622);
    RotateQuarterLeft(picture);
    EXPECT_EQ(picture.dotsPerMeterX(), 23622);
    EXPECT_EQ(picture.dotsPerMeterY(), 11811);
}

TEST(Rotation, AnEmptyPictureStaysEmpty)
{
    QImage picture;
    RotateQuarterRight(picture);
    RotateHalf(picture);
    EXPECT_TRUE(picture.isNull());
}

TEST(Rotation, APageAtSixHundredDpiTurnsExactlyOnOneCoreAndOnTwo)
{
    const QImage start = NumberedPicture(4961, 7017, 7);
    for (int cores : {1, 2}) {
        QImage right = start.copy(), left = start.copy();
        RotateQuarterRight(right, cores);
        RotateQuarterLeft(left, cores);
        EXPECT_TRUE(SamePixels(right, start.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_BGR888))) << cores;
        EXPECT_TRUE(SamePixels(left, start.transformed(QTransform().rotate(-90)).convertToFormat(QImage::Format_BGR888))) << cores;
    }
    QImage picture = start.copy();
    RotateQuarterRight(picture);
    RotateQuarterRight(picture);
    RotateHalf(picture);
    EXPECT_TRUE(SamePixels(picture, start));
    RotateQuarterLeft(picture);
    RotateQuarterRight(picture);
    EXPECT_TRUE(SamePixels(picture, start));
}
}
