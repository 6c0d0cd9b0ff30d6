// The numbering rule the launcher hands to the scan window.
#include "scanwindow/file_naming.h"

#include <gtest/gtest.h>

TEST(NextFileNameTest, ShouldRaiseTheNumberBeforeTheExtension)
{
    EXPECT_EQ(NextFileName("document", 3), "document001");
    EXPECT_EQ(NextFileName("scan009.jpg", 3), "scan010.jpg");
    EXPECT_EQ(NextFileName("scan999", 3), "scan1000");
    EXPECT_EQ(NextFileName("2024.jpg", 3), "2025.jpg");
    EXPECT_EQ(NextFileName("", 3), "document");
}

TEST(NextFileNameTest, ShouldTakeOnlyTheLastDotAndTheDigitsJustBeforeIt)
{
    EXPECT_EQ(NextFileName("scan.old.jpg", 3), "scan.old001.jpg");
    EXPECT_EQ(NextFileName("scan ", 3), "scan 001");
    EXPECT_EQ(NextFileName("12ab3", 1), "12ab4");
    EXPECT_EQ(NextFileName("kaart0009", 3), "kaart010");   // the run's own zeros do not count
    EXPECT_EQ(NextFileName("kaart7", 5), "kaart00008");
    EXPECT_EQ(NextFileName(".jpg", 2), "01.jpg");
    EXPECT_EQ(NextFileName("map.v2/foto", 2), "map01.v2/foto");   // the last dot, wherever it is
}

TEST(NextFileNameTest, DigitRunsBeyond32Bits_ShouldCountOnInTheDigitText)
{
    EXPECT_EQ(NextFileName("scan99999999999", 3), "scan100000000000");
    EXPECT_EQ(NextFileName("scan2147483647.jpg", 3), "scan2147483648.jpg");
    EXPECT_EQ(NextFileName("00000000000000000000041", 3), "042");
}
