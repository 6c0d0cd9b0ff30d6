#include "detection/whitening.h"
#include "synthetic_scan.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const BackgroundKey Black = BackgroundKey::fromColour(0x000000, 3);

bool IsWhite(const QImage &p, int x, int y)
{
    const Bgr c = PixelAt(p, x, y);
    return c.b == 255 && c.g == 255 && c.r == 255;
}

// Straightforward walks, one after the other, to check the swept version against.
void NaiveWhiten(QImage &bm, const ScanBox &r, const BackgroundKey &key)
{
    auto step = [&](int x, int y) {
        uchar *p = bm.scanLine(y) + 3 * x;
        if (p[0] == 255 && p[1] == 255 && p[2] == 255)
            return true;
        if (!key.matchesBgr(p))
            return false;
        p[0] = p[1] = p[2] = 255;
        return true;
    };
    for (int x = r.left; x < r.right; ++x) {
        for (int y = r.top; y < r.bottom && step(x, y); ++y) {}
        for (int y = r.bottom - 1; y >= r.top && step(x, y); --y) {}
    }
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right && step(x, y); ++x) {}
        for (int x = r.right - 1; x >= r.left && step(x, y); --x) {}
    }
}

} // namespace

TEST(Whitening, MarginBecomesWhiteWhileTheItemAndItsEnclosedBackgroundStay)
{
    QImage bm = MakeScan(200, 200, {0, 0, 0, 2, 5}, {});
    FillRect(bm, QRect(50, 50, 100, 100), 120, 80, 40);     // the item
    FillRect(bm, QRect(80, 80, 40, 40), 1, 1, 1);           // background seen through a hole
    const QImage before = bm;
    WhitenBackground(bm, {20, 20, 180, 180}, Black);

    EXPECT_TRUE(IsWhite(bm, 20, 20));
    EXPECT_TRUE(IsWhite(bm, 49, 100));
    EXPECT_TRUE(IsWhite(bm, 179, 179));
    EXPECT_EQ(PixelAt(bm, 50, 50).r, 120);
    EXPECT_EQ(PixelAt(bm, 100, 100).r, 1);   // enclosed
    // Outside the rectangle nothing changes.
    EXPECT_EQ(bm.copy(0, 0, 200, 20), before.copy(0, 0, 200, 20));
    EXPECT_EQ(bm.copy(0, 0, 20, 200), before.copy(0, 0, 20, 200));
    EXPECT_EQ(bm.copy(180, 0, 20, 200), before.copy(180, 0, 20, 200));
}

TEST(Whitening, WhitePixelsNeverEndAWalk)
{
    // Black glass, a card with a white border and black content right inside it:
    // the walks cross the border and paint that content white up to the first
    // pixel that is neither white nor background.
    QImage bm(100, 100, QImage::Format_BGR888);
    bm.fill(Qt::black);
    FillRect(bm, QRect(20, 20, 60, 60), 255, 255, 255);
    FillRect(bm, QRect(30, 30, 40, 40), 0, 0, 0);
    FillRect(bm, QRect(45, 30, 10, 40), 200, 0, 0);          // a red bar from top to bottom
    WhitenBackground(bm, {0, 0, 100, 100}, Black);

    EXPECT_TRUE(IsWhite(bm, 5, 5));
    EXPECT_TRUE(IsWhite(bm, 35, 50));   // black inside the card, reached through white
    EXPECT_TRUE(IsWhite(bm, 60, 50));
    EXPECT_EQ(PixelAt(bm, 50, 50).r, 200);
}

TEST(Whitening, TinyBitmapsAndRectanglesOutsideAreLeftAlone)
{
    QImage tiny(4, 100, QImage::Format_BGR888);
    tiny.fill(Qt::black);
    const QImage before = tiny;
    WhitenBackground(tiny, {0, 0, 4, 100}, Black);
    EXPECT_EQ(tiny, before);

    QImage bm(50, 50, QImage::Format_BGR888);
    bm.fill(Qt::black);
    const QImage untouched = bm;
    WhitenBackground(bm, {60, 60, 90, 90}, Black);
    WhitenBackground(bm, {-40, -40, -1, -1}, Black);
    EXPECT_EQ(bm, untouched);
}

TEST(Whitening, RectangleReachingBeyondTheBitmapWhitensThePartInside)
{
    QImage bm(60, 60, QImage::Format_BGR888);
    bm.fill(Qt::black);
    FillRect(bm, QRect(20, 20, 20, 20), 0, 0, 200);
    WhitenBackground(bm, {-30, -30, 90, 90}, Black);
    EXPECT_TRUE(IsWhite(bm, 0, 0));
    EXPECT_TRUE(IsWhite(bm, 59, 59));
    EXPECT_EQ(PixelAt(bm, 30, 30).b, 200);
}

TEST(Whitening, OtherFormatsAreMadeTwentyFourBit)
{
    QImage bm(30, 30, QImage::Format_RGB32);
    bm.fill(Qt::black);
    WhitenBackground(bm, {0, 0, 30, 30}, Black);
    EXPECT_EQ(bm.format(), QImage::Format_BGR888);
    EXPECT_TRUE(IsWhite(bm, 15, 15));
}

TEST(Whitening, SweptWalksEqualWalksOneByOne)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 30; ++round) {
        const int w = 5 + int(rng() % 60), h = 5 + int(rng() % 60);
        QImage a(w, h, QImage::Format_BGR888);
        for (int y = 0; y < h; ++y) {
            uchar *line = a.scanLine(y);
            for (int x = 0; x < 3 * w; x += 3) {
                const int kind = int(rng() % 10);
                const uchar v = kind < 6 ? uchar(rng() % 4) : kind < 8 ? 255 : uchar(100 + rng() % 50);
                line[x] = line[x + 1] = line[x + 2] = v;
            }
        }
        QImage b = a;
        const ScanBox r{int(rng() % 8) - 4, int(rng() % 8) - 4, w - 4 + int(rng() % 8), h - 4 + int(rng() % 8)};
        WhitenBackground(a, r, Black);
        NaiveWhiten(b, {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w), std::min(r.bottom, h)}, Black);
        ASSERT_EQ(a, b) << "round " << round;
    }
}

TEST(Whitening, LongWhiteRunsWalkTheSameAsPixelByPixel)
{
    // Runs of one kind, so that many rows hold eight or more white pixels in a row.
    std::mt19937 rng(7);
    const BackgroundKey keys[] = {Black, BackgroundKey::fromColour(0xFFFFFF, 3), BackgroundKey::fromColour(0xF0E0D0, 10)};
    for (const BackgroundKey &key : keys)
        for (int round = 0; round < 40; ++round) {
            const int w = 5 + int(rng() % 90), h = 5 + int(rng() % 40);
            QImage a(w, h, QImage::Format_BGR888);
            for (int y = 0; y < h; ++y) {
                uchar *line = a.scanLine(y);
                for (int x = 0; x < w;) {
                    const int run = 1 + int(rng() % 20), kind = int(rng() % 10);
                    for (int i = 0; i < run && x < w; ++i, ++x) {
                        uchar *p = line + 3 * x;
                        if (kind < 5) {
                            p[0] = p[1] = p[2] = 255;
                        } else if (kind < 8) {   // near the key's colour
                            p[0] = uchar(std::min(255, key.blue + int(rng() % 3)));
                            p[1] = uchar(std::min(255, key.green + int(rng() % 3)));
                            p[2] = uchar(std::min(255, key.red + int(rng() % 3)));
                        } else {
                            p[0] = p[1] = p[2] = uchar(100 + rng() % 50);
                        }
                    }
                }
            }
            QImage b = a;
            const ScanBox r{int(rng() % 8) - 4, int(rng() % 8) - 4, w - 4 + int(rng() % 8), h - 4 + int(rng() % 8)};
            WhitenBackground(a, r, key);
            NaiveWhiten(b, {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w), std::min(r.bottom, h)}, key);
            ASSERT_EQ(a, b) << "round " << round;
        }
}
