#include "detection/outline_inside.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

OutlineInside::OutlineInside(int gridSize)
    : m_size(gridSize), m_colMinY(size_t(gridSize), INT_MAX), m_colMaxY(size_t(gridSize), INT_MIN),
      m_rowMinX(size_t(gridSize), INT_MAX), m_rowMaxX(size_t(gridSize), INT_MIN)
{
}

void OutlineInside::build(const std::vector<GridCell> &outline)
{
    std::fill(m_colMinY.begin(), m_colMinY.end(), INT_MAX);
    std::fill(m_colMaxY.begin(), m_colMaxY.end(), INT_MIN);
    std::fill(m_rowMinX.begin(), m_rowMinX.end(), INT_MAX);
    std::fill(m_rowMaxX.begin(), m_rowMaxX.end(), INT_MIN);
    const size_t n = outline.size();
    m_enough = n >= 2;
    if (!m_enough)
        return;
    for (size_t i = 0; i < n; ++i) {
        const GridCell &a = outline[i];
        const GridCell &b = outline[i + 1 == n ? 0 : i + 1];
        if (std::abs(a.x - b.x) + std::abs(a.y - b.y) >= 4)
            continue;
        for (int px = std::max(std::min(a.x, b.x), 0); px < std::min(std::max(a.x, b.x), m_size); ++px) {
            m_colMinY[size_t(px)] = std::min(m_colMinY[size_t(px)], a.y);
            m_colMaxY[size_t(px)] = std::max(m_colMaxY[size_t(px)], a.y);
        }
        for (int py = std::max(std::min(a.y, b.y), 0); py < std::min(std::max(a.y, b.y), m_size); ++py) {
            m_rowMinX[size_t(py)] = std::min(m_rowMinX[size_t(py)], a.x);
            m_rowMaxX[size_t(py)] = std::max(m_rowMaxX[size_t(py)], a.x);
        }
    }
}

bool OutlineInside::inside(int px, int py) const
{
    if (!m_enough || px < 0 || py < 0 || px >= m_size || py >= m_size)
        return false;
    // below: an edge with y >= py; above: y < py; right: x >= px; left: x < px.
    return m_colMaxY[size_t(px)] >= py && m_colMinY[size_t(px)] < py && m_rowMaxX[size_t(py)] >= px
        && m_rowMinX[size_t(py)] < px;
}
