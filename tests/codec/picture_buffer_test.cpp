// Large pixel blocks handed out again after being freed: never smaller than
// asked, and a picture from them is whole.
#include "codec/picture_buffer.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <vector>

TEST(PictureBuffer, ABlockHandedOutAgainIsAtLeastAsLargeAsAsked)
{
    const size_t mb = size_t(1) << 20;
    for (size_t first : {9 * mb, 20 * mb, 40 * mb})
        for (size_t second : {9 * mb, 12 * mb, 21 * mb, 39 * mb, 41 * mb}) {
            void *a = AllocateLarge(first);
            ASSERT_NE(a, nullptr);
            std::memset(a, 0x5A, first);
            FreeLarge(a);
            void *b = AllocateLarge(second);
            ASSERT_NE(b, nullptr);
            EXPECT_GE(malloc_usable_size(b), second) << first << " then " << second;
            std::memset(b, 0xA5, second);
            FreeLarge(b);
        }
}

TEST(PictureBuffer, PicturesOnReusedMemoryHoldWhatIsWritten)
{
    for (int round = 0; round < 4; ++round) {
        QImage p = NewPicture24(2000 + round, 1500);
        ASSERT_FALSE(p.isNull());
        p.fill(QColor(round, 2 * round, 3 * round));
        const QImage q = p.copy();
        EXPECT_EQ(p, q);
        EXPECT_EQ(p.pixel(1999, 1499) & 0xFFFFFF, qRgb(round, 2 * round, 3 * round) & 0xFFFFFFu);
    }
}

TEST(PictureBuffer, TheCardsOfASeriesAreKeptButNeverMoreThanTheLimit)
{
    const size_t mb = size_t(1) << 20;
    std::vector<void *> cards;
    for (int i = 0; i < 10; ++i)
        cards.push_back(AllocateLarge(16 * mb));
    for (void *p : cards)
        FreeLarge(p);
    EXPECT_LE(KeptLargeBytes(), 224 * mb);
    if (KeptLargeBytes() > 0) {   // not under the address checker
        // The next series takes the last eight back without asking the system.
        std::vector<void *> again;
        for (int i = 0; i < 8; ++i)
            again.push_back(AllocateLarge(15 * mb));
        for (void *p : again)
            EXPECT_NE(std::find(cards.begin() + 2, cards.end(), p), cards.end());
        for (void *p : again)
            FreeLarge(p);
    }
    // A page made afresh first gives back what would take both past 224 MB.
    void *page = AllocateLarge(150 * mb);
    ASSERT_NE(page, nullptr);
    EXPECT_LE(KeptLargeBytes() + 150 * mb, 224 * mb);
    FreeLarge(page);
}
