#pragma once
#include <vector>

// One item found on a scan, in pixels of the full-resolution picture; right and
// bottom exclusive. With its margin it may reach beyond the picture (negative
// left or top, right or bottom past the edge); the cut-out fills that part.
// Only a box int cannot hold or whose picture memory cannot hold is cut to the
// picture, and the log says so.
struct ScanBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ScanBox &o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

using ScanBoxList = std::vector<ScanBox>;
