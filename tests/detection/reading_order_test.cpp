#include "detection/reading_order.h"
#include "synthetic_scan.h"

#include <gtest/gtest.h>

namespace {
ScanBox Box(int cx, int cy, int w = 100, int h = 140)
{
    return {cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
}
} // namespace

TEST(RelativeCentre, WithinTheBoundsOfAllBoxes)
{
    const ScanBoxList list = {{0, 0, 100, 100}, {200, 300, 400, 500}};
    const RelativeCentre a = RelativeCentreOf(list, 2, 0), b = RelativeCentreOf(list, 2, 1);
    EXPECT_DOUBLE_EQ(double(a.x), 50.0 / 400);
    EXPECT_DOUBLE_EQ(double(a.y), 50.0 / 500);
    EXPECT_DOUBLE_EQ(double(b.x), 300.0 / 400);
    EXPECT_DOUBLE_EQ(double(b.y), 400.0 / 500);
    // No span: 0.
    const ScanBoxList flat = {{10, 10, 10, 10}, {10, 10, 10, 10}};
    EXPECT_EQ(RelativeCentreOf(flat, 2, 1).x, 0);
    EXPECT_EQ(RelativeCentreOf(flat, 2, 1).y, 0);
}

TEST(OrderBoxes, OneColumnOrFewerKeepsDiscoveryOrder)
{
    const ScanBoxList found = {Box(900, 100), Box(100, 120), Box(500, 90)};
    for (int c : {-1, 0, 1}) {
        ScanBoxList list = found;
        OrderBoxes(list, c);
        EXPECT_EQ(list, found);
    }
}

TEST(OrderBoxes, TwoCardsSideBySideFallInColumnsOneAndTwo)
{
    // Centres 0.25 and 0.75: 2 * 0.25 / 0.75 = 0.667 gives 1, the right one 2.
    ScanBoxList list = {{500, 0, 1000, 100}, {0, 0, 500, 100}};
    EXPECT_DOUBLE_EQ(double(RelativeCentreOf(list, 2, 1).x), 0.25);
    OrderBoxes(list, 2);
    EXPECT_EQ(list[0], (ScanBox{0, 0, 500, 100}));
    EXPECT_EQ(list[1], (ScanBox{500, 0, 1000, 100}));
}

TEST(OrderBoxes, ThreeColumnsNumberedRowByRowLeftToRight)
{
    // Discovered column by column (a taller card in each column's top row is
    // found first); the upper three must still come first, left to right.
    const ScanBox ul = Box(200, 200), um = Box(600, 210), ur = Box(1000, 190);
    const ScanBox ll = Box(200, 600), lm = Box(600, 620), lr = Box(1000, 580);
    ScanBoxList list = {ur, ul, lr, um, ll, lm};
    OrderBoxes(list, 3);
    EXPECT_EQ(list, (ScanBoxList{ul, um, ur, ll, lm, lr}));
    // Ordering an ordered list changes nothing.
    ScanBoxList again = list;
    OrderBoxes(again, 3);
    EXPECT_EQ(again, list);
}

TEST(OrderBoxes, ColumnRoundsHalvesToEven)
{
    // Extremes 0..1024 with the last centre at 1, so with 8 columns the index
    // is 8 x exactly: 0.5 -> 0, 2.5 -> 2 and 1.5 -> 2.
    const ScanBox a{0, 0, 128, 10}, b{256, 0, 384, 10}, c{128, 0, 256, 10}, last{1024, 0, 1024, 10};
    ScanBoxList list = {b, c, a, last};
    OrderBoxes(list, 8);
    // Keys: b 2, c 82 (second of column 2), a 0, last 8.
    EXPECT_EQ(list, (ScanBoxList{a, b, last, c}));
}

TEST(OrderBoxes, OnlyTheFirstCountBoxesAreOrdered)
{
    const ScanBox r = Box(900, 100), l = Box(100, 100), extra = Box(50, 50);
    ScanBoxList list = {r, l, extra};
    OrderBoxes(list, 2, 2);
    EXPECT_EQ(list, (ScanBoxList{l, r, extra}));
}

TEST(OrderBoxes, AllCentresOnTheLeftEdgeKeepTheirOrder)
{
    // Zero-width boxes stacked at one x: every relative x is 0.
    ScanBoxList list = {{10, 300, 10, 400}, {10, 0, 10, 100}};
    const ScanBoxList before = list;
    OrderBoxes(list, 3);
    EXPECT_EQ(list, before);
}

TEST(FindPartner, ThreeCardsTurnedOverInPlacePairInOrder)
{
    const ScanBoxList fronts = {Box(200, 300), Box(600, 300), Box(1000, 300)};
    // The back scan at half the resolution, the group lying elsewhere on the glass.
    const ScanBoxList backs = {Box(400, 80, 50, 70), Box(600, 82, 50, 70), Box(800, 78, 50, 70)};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FindPartner(backs, 3, i, fronts, 3), i);
}

TEST(FindPartner, NearestFrontAndTies)
{
    const ScanBoxList fronts = {Box(0, 0), Box(1000, 0), Box(1000, 0)};
    // Two backs both nearest the same front; an exact tie keeps the lower index.
    const ScanBoxList backs = {Box(0, 0), Box(100, 0), Box(1000, 0)};
    EXPECT_EQ(FindPartner(backs, 3, 0, fronts, 3), 0);
    EXPECT_EQ(FindPartner(backs, 3, 1, fronts, 3), 0);
    EXPECT_EQ(FindPartner(backs, 3, 2, fronts, 3), 1);
}

TEST(FindPartner, NoFrontsNoPartner)
{
    const ScanBoxList backs = {Box(0, 0)};
    EXPECT_EQ(FindPartner(backs, 1, 0, {}, 0), -1);
    EXPECT_EQ(FindPartner(backs, 1, 0, {Box(5, 5)}, 0), -1);
    // A count larger than the list is held to the list.
    EXPECT_EQ(FindPartner(backs, 1, 0, {Box(5, 5)}, 7), 0);
}
