#include "detection/selection_geometry.h"

#include <gtest/gtest.h>

TEST(FrameToPicture, ScalesAndRoundsHalvesToEven)
{
    // Image 400 wide at x 10 showing 1000 pixels: 2.5 pixels per screen pixel.
    const QRect image(10, 20, 400, 200);
    PixelSelection s = FrameToPicture(QRect(11, 21, 100, 3), image, 1000, 500);
    EXPECT_EQ(s.left, 2);     // 2.5
    EXPECT_EQ(s.top, 2);      // 2.5
    EXPECT_EQ(s.right, 252);  // 252.5
    EXPECT_EQ(s.bottom, 10);  // 10
    s = FrameToPicture(QRect(13, 23, 2, 2), image, 1000, 500);
    EXPECT_EQ(s.left, 8);     // 7.5
    EXPECT_EQ(s.right, 12);   // 12.5
    // The whole image is the whole picture.
    s = FrameToPicture(image, image, 1000, 500);
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.right, 1000);
    EXPECT_EQ(s.bottom, 500);
    // No image size: the whole picture rather than a division by zero.
    s = FrameToPicture(QRect(0, 0, 5, 5), QRect(0, 0, 0, 0), 70, 80);
    EXPECT_EQ(s.right, 70);
    EXPECT_EQ(s.bottom, 80);
}

TEST(FitFrameIntoImage, MovesThenClampsThenNarrows)
{
    const QRect image(10, 10, 300, 200);
    // Inside already: unchanged.
    EXPECT_EQ(FitFrameIntoImage(QRect(20, 30, 100, 50), image), QRect(20, 30, 100, 50));
    // Past the right and bottom edges: moved back in, size kept.
    EXPECT_EQ(FitFrameIntoImage(QRect(250, 180, 100, 50), image), QRect(210, 160, 100, 50));
    // Left of the image: set to its left edge.
    EXPECT_EQ(FitFrameIntoImage(QRect(0, 0, 100, 50), image), QRect(10, 10, 100, 50));
    // Larger than the image: moved, clamped, then narrowed to the image.
    EXPECT_EQ(FitFrameIntoImage(QRect(-50, 5, 1000, 900), image), image);
}

TEST(FollowImage, KeepsTheFrameOverTheSamePartOfThePicture)
{
    const QRect before(0, 0, 400, 200);
    struct Case {
        QRect frame, after, expected;
    } cases[] = {
        // The detection panel appears: the image shrinks by 56 rows and narrows, centred.
        {QRect(100, 50, 200, 100), QRect(56, 0, 288, 144), QRect(128, 36, 144, 72)},
        // Moved only.
        {QRect(10, 10, 50, 40), QRect(30, 5, 400, 200), QRect(40, 15, 50, 40)},
        // Twice as large.
        {QRect(10, 10, 50, 40), QRect(0, 0, 800, 400), QRect(20, 20, 100, 80)},
        // A frame partly off the picture is put back inside it.
        {QRect(350, 150, 100, 100), before, QRect(300, 100, 100, 100)},
        // An image of no size leaves the frame as it is.
        {QRect(350, 150, 100, 100), QRect(0, 0, 0, 0), QRect(350, 150, 100, 100)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FollowImage(c.frame, before, c.after), c.expected)
            << c.frame.x() << "," << c.frame.y() << " into " << c.after.width() << "x" << c.after.height();
    }
}
