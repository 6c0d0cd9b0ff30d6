#include "detection/reading_order.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {
int ClampCount(const ScanBoxList &list, int count)
{
    return std::clamp(count, 0, int(list.size()));
}
} // namespace

RelativeCentre RelativeCentreOf(const ScanBoxList &list, int count, int index)
{
    count = ClampCount(list, count);
    RelativeCentre c;
    if (index < 0 || index >= count)
        return c;
    long double minLeft = 10000000, minTop = 10000000, maxRight = -10000000, maxBottom = -10000000;
    for (int k = 0; k < count; ++k) {
        minLeft = std::min<long double>(minLeft, list[size_t(k)].left);
        minTop = std::min<long double>(minTop, list[size_t(k)].top);
        maxRight = std::max<long double>(maxRight, list[size_t(k)].right);
        maxBottom = std::max<long double>(maxBottom, list[size_t(k)].bottom);
    }
    const ScanBox &b = list[size_t(index)];
    const long double spanX = maxRight - minLeft, spanY = maxBottom - minTop;
    if (spanX > 0)
        c.x = ((static_cast<long double>(b.left) + b.right) / 2 - minLeft) / spanX;
    if (spanY > 0)
        c.y = ((static_cast<long double>(b.top) + b.bottom) / 2 - minTop) / spanY;
    return c;
}

void OrderBoxes(ScanBoxList &list, int count, int columns)
{
    count = ClampCount(list, count);
    if (columns <= 1 || count == 0)
        return;
    const size_t n = size_t(count);
    std::vector<long double> xs(n);
    long double largest = -100000;
    for (int i = 0; i < count; ++i) {
        xs[size_t(i)] = RelativeCentreOf(list, count, i).x;
        largest = std::max(largest, xs[size_t(i)]);
    }
    std::vector<long long> column(n), key(n);
    for (int i = 0; i < count; ++i) {
        // All centres on the left edge would divide by zero: they share column 0.
        const long double ratio = largest > 0 ? columns * xs[size_t(i)] / largest : 0;
        column[size_t(i)] = std::llrint(ratio);   // default rounding: halves to even
        long long rank = 0;
        for (int j = 0; j < i; ++j)
            if (column[size_t(j)] == column[size_t(i)])
                ++rank;
        key[size_t(i)] = rank * 10 * columns + column[size_t(i)];
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
    ScanBoxList sorted;
    sorted.reserve(n);
    for (int i : order)
        sorted.push_back(list[size_t(i)]);
    std::copy(sorted.begin(), sorted.end(), list.begin());
}

int FindPartner(const ScanBoxList &backs, int backCount, int index, const ScanBoxList &fronts, int frontCount)
{
    frontCount = ClampCount(fronts, frontCount);
    backCount = ClampCount(backs, backCount);
    if (index < 0 || index >= backCount)
        return -1;
    const RelativeCentre r = RelativeCentreOf(backs, backCount, index);
    long double best = 1e14L;
    int partner = -1;
    for (int k = 0; k < frontCount; ++k) {
        const RelativeCentre f = RelativeCentreOf(fronts, frontCount, k);
        const long double d = (r.x - f.x) * (r.x - f.x) + (r.y - f.y) * (r.y - f.y);
        if (d < best) {
            best = d;
            partner = k;
        }
    }
    return partner;
}
