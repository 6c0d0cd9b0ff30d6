#include "dialogs/placement.h"
#include "common/settings_list.h"

#include <QRect>
#include <QWidget>
#include <gtest/gtest.h>

TEST(Placement, StoreWritesFourKeysAndRestoreReadsThem)
{
    QWidget w;
    w.setObjectName("scanform");
    w.setGeometry(10, 20, 300, 200);
    SettingsList s;
    StorePlacement(&w, s);
    StorePlacement(nullptr, s);
    EXPECT_EQ(s.lines(), QStringList({"scanform_top=" + QString::number(w.y()), "scanform_left=" + QString::number(w.x()),
                                      "scanform_width=300", "scanform_height=200"}));

    QWidget v;
    v.setGeometry(1, 2, 3, 4);
    RestorePlacement(&v, s, "scanform");
    EXPECT_EQ(v.x(), w.x());
    EXPECT_EQ(v.y(), w.y());
    EXPECT_EQ(v.size(), QSize(300, 200));
}

TEST(Placement, RestoreTakesNonNumbersAsZeroAndSkipsMissingKeys)
{
    QWidget w;
    w.setObjectName("p");
    w.resize(120, 80);
    SettingsList s;
    s.setValue("p_width", "abc");
    RestorePlacement(&w, s);
    EXPECT_EQ(w.width(), 0);
    EXPECT_EQ(w.height(), 80);
}

TEST(Placement, FitFormOnScreenShrinksAndMoves)
{
    QWidget big;
    big.setGeometry(100, 100, 3000, 3000);
    FitFormOnScreen(&big, QRect(0, 0, 1024, 768), 30);
    EXPECT_EQ(big.size(), QSize(1024, 738));
    EXPECT_EQ(big.pos(), QPoint(0, 0));

    QWidget tiny;
    tiny.setGeometry(5, 5, 10, 10);
    tiny.setMinimumSize(0, 0);
    FitFormOnScreen(&tiny, QRect(0, 0, 1024, 768), 30);
    EXPECT_EQ(tiny.size(), QSize(50, 50));

    QWidget off;
    off.setGeometry(1000, 760, 200, 100);
    FitFormOnScreen(&off, QRect(0, 0, 1024, 768), 30);
    EXPECT_EQ(off.pos(), QPoint(824, 638));

    // A second screen to the right: positions count from its own corner.
    QWidget right;
    right.setGeometry(1024 + 900, 10, 200, 100);
    FitFormOnScreen(&right, QRect(1024, 0, 1024, 768), 0);
    EXPECT_EQ(right.pos(), QPoint(1024 + 824, 10));
}
