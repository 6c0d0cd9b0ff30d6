#include "detection/outline_inside.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// The test as stated: count edges above, below, left and right of the cell.
bool CountingInside(const std::vector<GridCell> &p, int px, int py)
{
    const size_t n = p.size();
    if (n < 2)
        return false;
    int above = 0, below = 0, left = 0, right = 0;
    for (size_t i = 0; i < n; ++i) {
        const GridCell &a = p[i], &b = p[(i + 1) % n];
        if (std::abs(a.x - b.x) + std::abs(a.y - b.y) >= 4)
            continue;
        if (std::min(a.x, b.x) <= px && px < std::max(a.x, b.x))
            ++(a.y >= py ? below : above);
        if (std::min(a.y, b.y) <= py && py < std::max(a.y, b.y))
            ++(a.x >= px ? right : left);
        if (above && below && left && right)
            return true;
    }
    return false;
}

// A wandering outline: mostly single steps, now and then a jump as after backtracking.
std::vector<GridCell> Wander(std::mt19937 &rng, int length)
{
    std::vector<GridCell> cells;
    GridCell c{int(20 + rng() % 20), int(20 + rng() % 20)};
    for (int i = 0; i < length; ++i) {
        cells.push_back(c);
        const int kind = int(rng() % 12);
        if (kind == 0) {
            c.x += int(rng() % 9) - 4;
            c.y += int(rng() % 9) - 4;
        } else {
            static const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
            c.x += dx[kind % 4];
            c.y += dy[kind % 4];
        }
        c.x = std::clamp(c.x, 0, 59);
        c.y = std::clamp(c.y, 0, 59);
    }
    return cells;
}

} // namespace

TEST(OutlineInside, AgreesWithCountingEdgesOneByOne)
{
    std::mt19937 rng(7);
    OutlineInside test(200);
    for (int round = 0; round < 200; ++round) {
        const auto outline = Wander(rng, 1 + int(rng() % 300));
        test.build(outline);
        for (int py = 0; py < 62; ++py)
            for (int px = 0; px < 62; ++px)
                ASSERT_EQ(test.inside(px, py), CountingInside(outline, px, py))
                    << "round " << round << " cell " << px << "," << py;
    }
}

TEST(OutlineInside, SquareRingAndDegenerateOutlines)
{
    std::vector<GridCell> ring;
    for (int x = 10; x < 20; ++x) ring.push_back({x, 10});
    for (int y = 10; y < 20; ++y) ring.push_back({20, y});
    for (int x = 20; x > 10; --x) ring.push_back({x, 20});
    for (int y = 20; y > 10; --y) ring.push_back({10, y});
    OutlineInside test(200);
    test.build(ring);
    EXPECT_TRUE(test.inside(15, 15));
    EXPECT_TRUE(test.inside(11, 11));
    EXPECT_FALSE(test.inside(25, 15));
    EXPECT_FALSE(test.inside(15, 5));
    test.build({{5, 5}});
    EXPECT_FALSE(test.inside(5, 5));
    test.build({});
    EXPECT_FALSE(test.inside(0, 0));
}
