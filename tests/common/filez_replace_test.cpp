#include "common/filez.h"

#include <gtest/gtest.h>

TEST(ReplaceFirstText, IgnoresCaseAndCarriesACapital)
{
    QString t = "Prog.EXE";
    EXPECT_TRUE(ReplaceFirstText(t, ".exe", ".ini"));
    EXPECT_EQ(t, "Prog.ini");

    t = "Bestand _ en _";
    EXPECT_TRUE(ReplaceFirstText(t, "_", "x.jpg"));
    EXPECT_EQ(t, "Bestand x.jpg en _");

    t = "Een Scan";
    ReplaceFirstText(t, "scan", "foto");
    EXPECT_EQ(t, "Een Foto");

    t = "aa";
    EXPECT_FALSE(ReplaceFirstText(t, "a", "ba"));  // the replacement holds find
    EXPECT_EQ(t, "baa");

    t = "";
    EXPECT_FALSE(ReplaceFirstText(t, "a", "b"));
    t = "abc";
    EXPECT_FALSE(ReplaceFirstText(t, "x", "b"));
    EXPECT_EQ(t, "abc");
}

TEST(ReplaceAllText, ReplacementHoldingFindStaysFinite)
{
    QString t = "aXa";
    EXPECT_EQ(ReplaceAllText(t, "a", "aa"), 2);
    EXPECT_EQ(t, "aaXaa");

    // The marker itself holds 'i': one pass must do.
    t = "ik zie";
    EXPECT_EQ(ReplaceAllText(t, "i", "ii"), 2);
    EXPECT_EQ(t, "iik ziie");
}

TEST(ReplaceAllText, CaseFlagOffMatchesEveryCase)
{
    QString t = "$Plaats$ en $plaats$ en $PLAATSEN$";
    EXPECT_EQ(ReplaceAllText(t, "$plaats$", "dorp", false), 2);
    EXPECT_EQ(t, "dorp en dorp en $PLAATSEN$");

    t = QString::fromUtf8("ÉÉN één");
    EXPECT_EQ(ReplaceAllText(t, QString::fromUtf8("één"), "1", false), 2);
    EXPECT_EQ(t, "1 1");

    t = "Aa";
    EXPECT_EQ(ReplaceAllText(t, "a", "b", true), 1);
    EXPECT_EQ(t, "Ab");
}

TEST(ReplaceRepeated, ShrinkingAndRemovingPasses)
{
    QString t = "aaaa";
    EXPECT_EQ(ReplaceRepeated(t, "aa", "a"), 2);  // through the marker: no second round
    EXPECT_EQ(t, "aa");

    t = "aabb";
    EXPECT_EQ(ReplaceRepeated(t, "ab", ""), 2);  // removal lets a new occurrence form
    EXPECT_EQ(t, "");

    // The marker holds "$%": one pass, not a text that grows to the cap.
    t = "a$%%b";
    EXPECT_EQ(ReplaceRepeated(t, "$%", "%"), 1);
    EXPECT_EQ(t, "a%%b");

    t = "abc";
    EXPECT_EQ(ReplaceRepeated(t, "", "x"), 0);
    EXPECT_EQ(t, "abc");
}

TEST(ReplaceRepeated, StopsAfterTheCap)
{
    QString t = "a";
    const int n = ReplaceRepeated(t, "a", "aa");
    EXPECT_GT(n, 100000);
    EXPECT_LT(n, 300000);
}

TEST(ReplaceOnePass, GrowsItsBufferForLongReplacements)
{
    QString t = QString(1000, 'x');
    EXPECT_EQ(ReplaceOnePass(t, "x", "yyyyy"), 1000);
    EXPECT_EQ(t, QString(5000, 'y'));
    // One long replacement in a long text must not reserve the worst case (gigabytes).
    t = QString(200000, '.') + "x";
    EXPECT_EQ(ReplaceOnePass(t, "x", QString(20000, 'y')), 1);
    EXPECT_EQ(t.size(), 220000);
    t = "xyxyx";
    EXPECT_EQ(ReplaceOnePass(t, "xyx", "-"), 1);  // non-overlapping, left to right
    EXPECT_EQ(t, "-yx");
}

TEST(UpperTable, MatchesQtOverLatin1)
{
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(UpperTable[i], QChar(char16_t(i)).toUpper().unicode()) << i;
}
