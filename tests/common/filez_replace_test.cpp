#include "common/filez.h"

#include <gtest/gtest.h>

namespace {

// One replacement call: the text before and after, and what the call returns.
struct Case {
    QString text, find, with;
    int returns;
    QString after;
    bool caseSensitive = false;
};

template <typename Fn>
void expectCases(Fn replace, std::initializer_list<Case> cases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(("\"" + c.text.left(40) + "\": " + c.find + " -> " + c.with.left(40)).toStdString());
        QString t = c.text;
        EXPECT_EQ(int(replace(t, c.find, c.with, c.caseSensitive)), c.returns);
        EXPECT_EQ(t, c.after);
    }
}

} // namespace

TEST(ReplaceFirstText, IgnoresCaseAndCarriesACapital)
{
    expectCases(ReplaceFirstText, {
        {"Prog.EXE", ".exe", ".ini", true, "Prog.ini"},
        {"Bestand _ en _", "_", "x.jpg", true, "Bestand x.jpg en _"},
        {"Een Scan", "scan", "foto", true, "Een Foto"},
        {"aa", "a", "ba", false, "baa"},  // false: the replacement holds find
        {"", "a", "b", false, ""},
        {"abc", "x", "b", false, "abc"},
    });
}

TEST(ReplaceAllText, ReplacesEveryMatchInOnePass)
{
    expectCases(ReplaceAllText, {
        {"aXa", "a", "aa", 2, "aaXaa"},
        {"ik zie", "i", "ii", 2, "iik ziie"},  // the marker itself holds 'i': one pass must do
        {"$Plaats$ en $plaats$ en $PLAATSEN$", "$plaats$", "dorp", 2, "dorp en dorp en $PLAATSEN$"},
        {QString::fromUtf8("ÉÉN één"), QString::fromUtf8("één"), "1", 2, "1 1"},
        {"Aa", "a", "b", 1, "Ab", true},
    });
}

TEST(ReplaceRepeated, ShrinkingAndRemovingPasses)
{
    expectCases(ReplaceRepeated, {
        {"aaaa", "aa", "a", 2, "aa"},  // through the marker: no second round
        {"aabb", "ab", "", 2, ""},     // removal lets a new occurrence form
        {"a$%%b", "$%", "%", 1, "a%%b"},  // the marker holds "$%": one pass, not a text that grows to the cap
        {"abc", "", "x", 0, "abc"},
    });
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
    expectCases(ReplaceOnePass, {
        {QString(1000, 'x'), "x", "yyyyy", 1000, QString(5000, 'y')},
        // One long replacement in a long text must not reserve the worst case (gigabytes).
        {QString(200000, '.') + "x", "x", QString(20000, 'y'), 1, QString(200000, '.') + QString(20000, 'y')},
        {"xyxyx", "xyx", "-", 1, "-yx"},  // non-overlapping, left to right
    });
}

TEST(UpperTable, MatchesQtOverLatin1)
{
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(UpperTable[i], QChar(char16_t(i)).toUpper().unicode()) << i;
}
