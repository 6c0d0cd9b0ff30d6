#include "detection/smart_detection.h"

#include "detection/gap_watch.h"
#include "detection/item_detection.h"
#include "detection/lid_model.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double kWorkDpi = 150;

cv::Mat SureLid(const cv::Mat &lid)
{
    cv::Mat sure;
    cv::erode(lid, sure, Square(5));
    return sure;
}

// Pixels of a 24- or 32-bit picture against the platform colour: for every
// byte of a row the lowest value the key allows and the width of its band, so
// that a stretch of row is tested a byte at a time.
class KeyRows {
public:
    KeyRows(const QImage &picture, const BackgroundKey &key) : m_picture(picture)
    {
        int order[4] = {0, 0, 0, -1};   // which of red, green, blue each byte holds
        switch (picture.format()) {
        case QImage::Format_BGR888: m_bytes = 3; order[0] = 2; order[1] = 1; break;
        case QImage::Format_RGB888: m_bytes = 3; order[1] = 1; order[2] = 2; break;
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32: m_bytes = 4; order[0] = 2; order[1] = 1; break;
        default: return;
        }
        const int want[3] = {key.red, key.green, key.blue};
        m_low.resize(size_t(picture.width()) * size_t(m_bytes));
        m_band.resize(m_low.size());
        for (size_t i = 0; i < m_low.size(); ++i) {
            const int c = order[i % size_t(m_bytes)];
            const int low = c < 0 ? 0 : std::clamp(want[c] - key.tolerance, 0, 255);
            m_low[i] = uint8_t(low);
            m_band[i] = uint8_t(c < 0 ? 255 : std::clamp(want[c] + key.tolerance, 0, 255) - low);
        }
    }
    bool readable() const { return m_bytes > 0; }
    const uchar *line(int y) const { return m_picture.constScanLine(y); }
    bool key(const uchar *line, int x) const
    {
        const uchar *p = line + x * m_bytes;
        return uint8_t(p[0] - m_low[0]) <= m_band[0] && uint8_t(p[1] - m_low[1]) <= m_band[1]
            && uint8_t(p[2] - m_low[2]) <= m_band[2];
    }
    void prefetch(int y, int x) const { __builtin_prefetch(line(y) + x * m_bytes); }
    bool allKey(const uchar *line, int x0, int x1) const
    {
        uint8_t off = 0;
        for (int i = x0 * m_bytes, end = x1 * m_bytes; i < end; ++i)
            off |= uint8_t(uint8_t(line[i] - m_low[size_t(i)]) > m_band[size_t(i)]);
        return off == 0;
    }

private:
    const QImage &m_picture;
    int m_bytes = 0;
    std::vector<uint8_t> m_low, m_band;
};

// Columns through every region, pitch apart (three at least), read every step
// rows: no gap along the rows in any. They are read a row at a time, in memory
// order, each row's samples asked for a few rows ahead.
bool ColumnsHold(const KeyRows &px, const std::vector<QRect> &regions, int pitch, int step)
{
    struct Column {
        int x;
        GapWatch watch;
    };
    std::vector<std::vector<Column>> columns(regions.size());
    int top = INT_MAX, bottom = INT_MIN;
    for (size_t k = 0; k < regions.size(); ++k) {
        const QRect &r = regions[k];
        if (r.isEmpty())
            continue;
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
        const int n = std::max(3, r.width() / pitch);
        for (int j = 0; j < n; ++j)
            columns[k].push_back({r.left() + int((j + 0.5) * r.width() / n), {}});
    }
    const int ahead = 16 * step;
    for (int y = top; y <= bottom; y += step) {
        const uchar *line = px.line(y);
        for (size_t k = 0; k < regions.size(); ++k) {
            const QRect &r = regions[k];
            if (y + ahead >= r.top() && y + ahead <= r.bottom())
                for (const Column &c : columns[k])
                    px.prefetch(y + ahead, c.x);
            if (y >= r.top() && y <= r.bottom())
                for (Column &c : columns[k])
                    c.watch.feed(px.key(line, c.x));
        }
    }
    for (const auto &list : columns)
        for (const Column &c : list)
            if (c.watch.gap)
                return false;
    return true;
}

// Outside the card regions one row shows only the platform colour, inside
// each (read every step pixels; not at all when step is 0) no gap.
bool RowHolds(const KeyRows &px, int y, int x0, int x1, const std::vector<QRect> &regions, int step)
{
    const uchar *line = px.line(y);
    int x = x0;
    for (const QRect &r : regions) {
        if (y < r.top() || y > r.bottom())
            continue;
        if (x < r.left() && !px.allKey(line, x, r.left()))
            return false;
        GapWatch watch;
        for (int i = r.left(); step > 0 && i <= r.right() && !watch.gap; i += step)
            watch.feed(px.key(line, i));
        if (watch.gap)
            return false;
        x = std::max(x, r.right() + 1);
    }
    return x >= x1 || px.allKey(line, x, x1);
}

} // namespace

bool GridFindsEveryCard(const QImage &picture, const PixelSelection &selection, const ScanBoxList &boxes,
                        const DetectionSettings &settings)
{
    const KeyRows px(picture, settings.key());
    const QRect part = QRect(QPoint(selection.left, selection.top), QPoint(selection.right - 1, selection.bottom - 1))
                           .intersected(picture.rect());
    if (boxes.empty() || !px.readable() || part.isEmpty())
        return false;
    // A card's edge lies within one cell beyond the outermost sample that fell on it.
    const int W = picture.width(), H = picture.height();
    const int margin = int(qint64(W) * settings.marginPercent / 100);
    const int cellX = W / GridSize + 1, cellY = H / GridSize + 1;
    const double dpi = Dpi(picture);
    // Samples 1/6 mm apart and columns 24 mm apart, whatever a wrong tag claims.
    const int step = std::clamp(int(dpi / 150), 1, 4), pitch = std::max(cellX, int(24 * dpi / 25.4));
    std::vector<QRect> regions;
    for (const ScanBox &b : boxes)
        regions.push_back(QRect(QPoint(b.left + margin - cellX, b.top + margin - cellY),
                                QPoint(b.right - margin + cellX, b.bottom - margin + cellY))
                              .intersected(part));
    std::sort(regions.begin(), regions.end(), [](const QRect &a, const QRect &b) { return a.left() < b.left(); });
    // Rows two cells apart; gaps across them are as tall as a card: every other
    // such row is enough to meet them. They go first: on a lid that is not one
    // colour the first of them already tells.
    for (int row = 0; row < GridSize; row += 2) {
        const int y = int((row + 0.5) * H / GridSize);
        if (y >= part.top() && y <= part.bottom()
            && !RowHolds(px, y, part.left(), part.right() + 1, regions, row % 4 ? 0 : step))
            return false;
    }
    // Columns catch the gaps that lie along the rows, rows those across them.
    return ColumnsHold(px, regions, pitch, step);
}

std::vector<QRect> FindCardRects(const QImage &picture, const PixelSelection &selection)
{
    std::vector<QRect> rects;
    const QRect part = QRect(QPoint(selection.left, selection.top), QPoint(selection.right - 1, selection.bottom - 1))
                           .intersected(picture.rect());
    const double dpi = Dpi(picture);
    const int f = std::max(1, int(std::lround(dpi / kWorkDpi)));
    if (picture.isNull() || part.width() < 8 * f || part.height() < 8 * f)
        return rects;
    const double mm = dpi / f / 25.4;   // working pixels per millimetre

    const cv::Mat work = WorkingCopy(picture, part, f);
    // Edges in grey: a third of the work, and colour alone is weighed below.
    cv::Mat grey, edges;
    cv::cvtColor(work, grey, cv::COLOR_BGR2GRAY);
    cv::Canny(grey, edges, 16, 40, 3, true);
    // The lid's colour is learnt from what lies outside every edge, thickened so
    // that no break in an outline lets it in; then the lid is what reaches the
    // edge of the part through pixels of that colour that hold no edge, which
    // finds the narrow gaps between cards too.
    cv::Mat thick;
    cv::dilate(edges, thick, Square(3));
    const cv::Mat distance = DistanceFromLid(work, LidModel(work, SureLid(ReachableLid(thick == 0, 4)), 8));
    const cv::Mat lid = ReachableLid((edges == 0) & (distance <= 10), 8);

    // A card: what the lid cannot reach, or what differs from the lid in colour.
    cv::Mat card = (lid == 0) | (distance > 10);
    // Lid-coloured lines thinner than 1.7 mm between two cards are gaps: cut them.
    const cv::Mat lidColoured = distance <= 10;
    cv::Mat broad;
    cv::morphologyEx(lidColoured, broad, cv::MORPH_OPEN, Square(std::max(3, int(1.7 * mm))));
    card &= ~(lidColoured & ~broad);
    // Hairs, dust and the bridges left across a gap are narrower than 1.2 mm.
    cv::morphologyEx(card, card, cv::MORPH_OPEN, Square(std::max(3, int(1.2 * mm) | 1)));

    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(card, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const double smallest = 8 * mm * 8 * mm;
    for (const auto &c : contours) {
        if (cv::contourArea(c) < smallest)
            continue;
        const cv::Rect r = cv::boundingRect(c);
        rects.push_back(QRect(part.x() + r.x * f, part.y() + r.y * f, r.width * f, r.height * f));
    }
    std::sort(rects.begin(), rects.end(), [](const QRect &a, const QRect &b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    return rects;
}
