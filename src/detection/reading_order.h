#pragma once
// Reading order of the boxes and pairing of back sides with their fronts.
#include "detection/scanbox.h"

// Where a box's centre lies within the bounding rectangle of all boxes of its
// list: 0 at the left (top) edge, 1 at the right (bottom) edge.
struct RelativeCentre {
    long double x = 0, y = 0;
};

RelativeCentre RelativeCentreOf(const ScanBoxList &list, int count, int index);

// Reorders the first count boxes by columns: the first box of each column from
// left to right, then the second of each column, and so on. Columns <= 1 keeps
// the order of discovery.
void OrderBoxes(ScanBoxList &list, int count, int columns);
inline void OrderBoxes(ScanBoxList &list, int columns) { OrderBoxes(list, int(list.size()), columns); }

// Index of the front box nearest to back box `index` by relative centre, or -1.
int FindPartner(const ScanBoxList &backs, int backCount, int index, const ScanBoxList &fronts, int frontCount);
