#pragma once
// The inside test of an item's traced outline. Every pair of consecutive
// outline cells (the last paired with the first) that lie less than 4 cells
// apart forms an edge; a cell is inside when edges lie above, below, left and
// right of it. Since only the existence of such edges counts, the extremes per
// grid column and row answer the test in constant time.
#include <vector>

struct GridCell {
    int x, y;
};

class OutlineInside {
public:
    explicit OutlineInside(int gridSize);
    void build(const std::vector<GridCell> &outline);
    bool inside(int px, int py) const;

private:
    int m_size;
    bool m_enough = false;
    // Per column: smallest and largest y of the first cell of the edges that
    // span the column; per row likewise for x.
    std::vector<int> m_colMinY, m_colMaxY, m_rowMinX, m_rowMaxX;
};
