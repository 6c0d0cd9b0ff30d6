#include "common/character_table.h"
#include "common/filez.h"

#include <gtest/gtest.h>

TEST(FilezNumbers, TextToIntAndBack)
{
    EXPECT_EQ(TextToInt("123"), 123);
    EXPECT_EQ(TextToInt("-7"), -7);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt("12a"), 0);
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToIntDef("x", 42), 42);
    EXPECT_EQ(TextToIntDef("99999999999", 5), 5);  // beyond 32 bits is not a valid integer
    EXPECT_EQ(IntToText(-15), "-15");
}

TEST(FilezNumbers, FormatCountPadsAndGroups)
{
    EXPECT_EQ(FormatCount(1234567, -12), "   1.234.567");
    EXPECT_EQ(FormatCount(42, 5), "00042");
    EXPECT_EQ(FormatCount(123456, 3), "123456");
    EXPECT_EQ(FormatCount(123456, 0), "123456");
    EXPECT_EQ(FormatCount(123, -1), "123");
    EXPECT_EQ(FormatCount(1000, -5), "1.000");
    EXPECT_EQ(FormatCount(-42, 5), "-0042");
}

TEST(FilezText, LowerCharUsesTheCharacterTable)
{
    EXPECT_EQ(CharacterTable.size(), 71u);
    EXPECT_EQ(LowerChar(QChar(0xC4)), QChar(0xE4));   // Ä
    EXPECT_EQ(LowerChar(QChar(0xD8)), QChar(0xF8));   // Ø
    EXPECT_EQ(LowerChar('Q'), QChar('q'));
    EXPECT_EQ(LowerChar('$'), QChar('$'));
    EXPECT_EQ(LowerChar(QChar(0x20AC)), QChar(0x20AC));  // € has no small form
    EXPECT_EQ(LowerText(QString::fromUtf8("ÉCOLE")), QString::fromUtf8("école"));
    EXPECT_EQ(TrimLower(" \tAbC Éd \r\n"), QString::fromUtf8("abc Éd"));
}

TEST(FilezText, CapitaliseNameFollowsDutchNames)
{
    EXPECT_EQ(CapitaliseName("overschrijven"), "Overschrijven");
    EXPECT_EQ(CapitaliseName("ijsselstein"), "IJsselstein");
    EXPECT_EQ(CapitaliseName("(utrecht)"), "(Utrecht)");
    EXPECT_EQ(CapitaliseName("'s-gravenhage"), "'s-Gravenhage");
    EXPECT_EQ(CapitaliseName("st.-michielsgestel"), "St.-Michielsgestel");
    EXPECT_EQ(CapitaliseName("van gogh"), "Van gogh");
    EXPECT_EQ(CapitaliseName("AMSTERDAM", true), "Amsterdam");
    EXPECT_EQ(CapitaliseName(""), "");
    const QStringList exceptions{"VAN"};
    EXPECT_EQ(CapitaliseName("Van", false, &exceptions), "van");
}

TEST(FilezText, CapitaliseNameKeepsLongAndMarkHeavyTexts)
{
    const QString longName = "'s-" + QString(300, 'x');
    EXPECT_EQ(CapitaliseName(longName).size(), longName.size());
    // Many marks must not take exponential time.
    const QString marks = QString(60, '-') + "a";
    EXPECT_EQ(CapitaliseName(marks), QString(60, '-') + "A");
}
