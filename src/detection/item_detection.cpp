#include "detection/item_detection.h"

#include "common/filez.h"
#include "detection/smart_detection.h"

#include <QColor>
#include <opencv2/core/utility.hpp>
#include <algorithm>
#include <climits>
#include <unistd.h>

namespace {

constexpr int kMapSize = GridSize * GridSize + 2;

// Reads one pixel as red, green, blue. Only ever called once per cell, so the
// slow path for unusual formats costs nothing worth speaking of.
void ReadRgb(const QImage &picture, int x, int y, int &r, int &g, int &b)
{
    const uchar *line = picture.constScanLine(y);
    switch (picture.format()) {
    case QImage::Format_BGR888:
        b = line[3 * x]; g = line[3 * x + 1]; r = line[3 * x + 2];
        return;
    case QImage::Format_RGB888:
        r = line[3 * x]; g = line[3 * x + 1]; b = line[3 * x + 2];
        return;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: {
        const QRgb p = reinterpret_cast<const QRgb *>(line)[x];
        r = qRed(p); g = qGreen(p); b = qBlue(p);
        return;
    }
    default: {
        const QRgb p = picture.pixel(x, y);
        r = qRed(p); g = qGreen(p); b = qBlue(p);
        return;
    }
    }
}

struct WideBox {
    qint64 left, top, right, bottom;
};

qint64 BoxByteLimit(const DetectionSettings &settings)
{
    if (settings.boxPictureBytes > 0)
        return settings.boxPictureBytes;
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    const qint64 physical = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : (qint64(4) << 30);
    return std::max<qint64>(physical / 3, qint64(256) << 20);
}

// A box is kept as found, reaching beyond the picture with its margin; only
// one that int cannot hold or whose picture memory cannot hold is cut to the
// picture, and the log says so.
ScanBox Storable(const WideBox &b, qint64 W, qint64 H, const DetectionSettings &settings, int number)
{
    const auto fits = [](qint64 v) { return v >= INT_MIN && v <= INT_MAX; };
    const qint64 w = b.right - b.left, h = b.bottom - b.top;
    const bool stored = fits(b.left) && fits(b.top) && fits(b.right) && fits(b.bottom) && fits(w) && fits(h);
    if (stored && (w <= 0 || h <= 0 || w <= BoxByteLimit(settings) / 3 / h))
        return {int(b.left), int(b.top), int(b.right), int(b.bottom)};
    LogText(QStringLiteral("Vak %1 reikt met een rand van %2 % te ver buiten de scan en is ingekort tot de scan "
                           "(%3 x %4 beeldpunten).")
                .arg(number)
                .arg(settings.marginPercent)
                .arg(W)
                .arg(H));
    const qint64 l = std::clamp<qint64>(b.left, 0, W), t = std::clamp<qint64>(b.top, 0, H);
    return {int(l), int(t), int(std::clamp<qint64>(b.right, l, W)), int(std::clamp<qint64>(b.bottom, t, H))};
}

double Overlap(const ScanBox &a, const ScanBox &b)
{
    const qint64 w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const qint64 h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    if (w <= 0 || h <= 0)
        return 0;
    const double both = double(w) * h;
    return both / (double(a.width()) * a.height() + double(b.width()) * b.height() - both);
}

// Each box of one list covers one of the other almost wholly, one to one.
bool SameCards(const ScanBoxList &a, const ScanBoxList &b)
{
    if (a.size() != b.size())
        return false;
    std::vector<bool> taken(b.size(), false);
    for (const ScanBox &box : a) {
        size_t i = 0;
        while (i < b.size() && (taken[i] || Overlap(box, b[i]) < 0.9))
            ++i;
        if (i == b.size())
            return false;
        taken[i] = true;
    }
    return true;
}

} // namespace

ItemDetector::ItemDetector() : m_background(kMapSize, 1), m_visited(kMapSize, 0) {}

bool ItemDetector::isBackground(int x, int y) const
{
    const int i = x + y * GridSize;
    if (i < 0 || i >= kMapSize)
        return true;
    return m_background[size_t(i)] != 0;
}

bool ItemDetector::isBoundary(int x, int y) const
{
    if (isBackground(x, y))
        return false;
    const int i = x + y * GridSize;   // in range: an item cell was sampled
    if (m_visited[size_t(i)])
        return false;
    return isBackground(x - 1, y) || isBackground(x - 1, y - 1) || isBackground(x, y - 1)
        || isBackground(x + 1, y - 1) || isBackground(x + 1, y) || isBackground(x + 1, y + 1)
        || isBackground(x, y + 1) || isBackground(x - 1, y + 1);
}

void ItemDetector::claim(int x, int y)
{
    m_visited[size_t(x + y * GridSize)] = 1;
    m_left = std::min(m_left, x);
    m_top = std::min(m_top, y);
    m_right = std::max(m_right, x);
    m_bottom = std::max(m_bottom, y);
    m_outline.push_back({x, y});
}

// Depth first, neighbours right, down, left, up; a neighbour is traced from as
// soon as it is claimed. The frames live on the heap: an outline can be
// thousands of cells long.
void ItemDetector::trace(int x, int y)
{
    static const int dx[4] = {1, 0, -1, 0};
    static const int dy[4] = {0, 1, 0, -1};
    m_stack.clear();
    m_nextDir.clear();
    m_stack.push_back({x, y});
    m_nextDir.push_back(0);
    while (!m_stack.empty()) {
        const Cell c = m_stack.back();
        int &dir = m_nextDir.back();
        if (dir == 4) {
            m_stack.pop_back();
            m_nextDir.pop_back();
            continue;
        }
        const int nx = c.x + dx[dir], ny = c.y + dy[dir];
        ++dir;
        if (isBoundary(nx, ny)) {
            claim(nx, ny);
            m_stack.push_back({nx, ny});
            m_nextDir.push_back(0);
        }
    }
}

void ItemDetector::sample(const QImage &picture, int gx0, int gx1, int gy0, int gy1, const BackgroundKey &key)
{
    const qint64 W = picture.width(), H = picture.height();
    for (int x = gx0; x < gx1; ++x) {
        const int px = int(x * W / GridSize);
        for (int y = gy0; y < gy1; ++y) {
            const int py = int(y * H / GridSize);
            int r, g, b;
            ReadRgb(picture, px, py, r, g, b);
            m_background[size_t(x + y * GridSize)] = key.matches(r, g, b) ? 1 : 0;
        }
    }
}

ScanBoxList ItemDetector::detectOnGrid(const QImage &picture, PixelSelection sel, const DetectionSettings &settings)
{
    ScanBoxList boxes;
    std::fill(m_background.begin(), m_background.end(), uint8_t(1));
    std::fill(m_visited.begin(), m_visited.end(), uint8_t(0));
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return boxes;

    const qint64 W = picture.width(), H = picture.height();
    // A frame reaching beyond the picture would sample outside it; it counts as the whole side.
    sel.left = int(std::clamp<qint64>(sel.left, 0, W));
    sel.right = int(std::clamp<qint64>(sel.right, 0, W));
    sel.top = int(std::clamp<qint64>(sel.top, 0, H));
    sel.bottom = int(std::clamp<qint64>(sel.bottom, 0, H));

    const int gx0 = int(sel.left * qint64(GridSize) / W) + 1;
    const int gx1 = int(sel.right * qint64(GridSize) / W) - 1;
    const int gy0 = int(sel.top * qint64(GridSize) / H) + 1;
    const int gy1 = int(sel.bottom * qint64(GridSize) / H) - 1;
    const qint64 margin = W * settings.marginPercent / 100;

    sample(picture, gx0, gx1, gy0, gy1, settings.key());

    for (int y = gy0 + 1; y <= gy1 - 2; ++y) {
        for (int x = gx0 + 1; x <= gx1 - 2; ++x) {
            const int i = x + y * GridSize;
            if (m_background[size_t(i)] || m_visited[size_t(i)])
                continue;
            if (isBackground(x + 1, y) || isBackground(x + 1, y + 1) || isBackground(x + 1, y - 1))
                continue;

            m_outline.clear();
            m_left = m_top = 10000;
            m_right = m_bottom = -10000;
            claim(x, y);
            trace(x, y);

            m_inside.build(m_outline);
            for (int cx = m_left + 1; cx <= m_right - 1; ++cx)
                for (int cy = m_top + 1; cy <= m_bottom - 1; ++cy)
                    if (m_inside.inside(cx, cy))
                        m_visited[size_t(cx + cy * GridSize)] = 1;

            const qint64 left = W * m_left / GridSize - margin;
            const qint64 top = H * m_top / GridSize - margin;
            const qint64 right = W * m_right / GridSize + margin;
            const qint64 bottom = H * m_bottom / GridSize + margin;
            if (right - left >= settings.minSize && bottom - top >= settings.minSize && m_outline.size() > 1)
                boxes.push_back(Storable({left, top, right, bottom}, W, H, settings, int(boxes.size()) + 1));
        }
    }
    return boxes;
}

ScanBoxList ItemDetector::detect(const QImage &picture, PixelSelection sel, const DetectionSettings &settings)
{
    if (!settings.smart || picture.isNull())
        return detectOnGrid(picture, sel, settings);
    // Today's finding and the quick one's copy side by side: where today's
    // holds, the copy was made on the other core while the user waited anyway.
    ScanBoxList grid;
    std::atomic<bool> gridHolds{false};
    std::optional<CoarseFinding> coarse;
    const auto today = [&] {
        grid = detectOnGrid(picture, sel, settings);
        gridHolds = GridFindsEveryCard(picture, sel, grid, settings);
    };
    if (cv::getNumThreads() > 1) {
        cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range &range) {
            for (int task = range.start; task < range.end; ++task)
                task == 0 ? today() : void(coarse.emplace(picture, sel, &gridHolds));
        }, 2);
    } else {
        today();
        if (!gridHolds)
            coarse.emplace(picture, sel);
    }
    if (gridHolds)
        return grid;
    const qint64 W = picture.width(), H = picture.height();
    const qint64 margin = W * settings.marginPercent / 100;
    ScanBoxList boxes;
    std::optional<std::vector<QRect>> rects = coarse ? coarse->confirmed() : std::nullopt;
    if (!rects)
        rects = FindCardRects(picture, sel);
    for (const QRect &r : *rects) {
        const WideBox b{r.left() - margin, r.top() - margin, r.right() + 1 + margin, r.bottom() + 1 + margin};
        if (b.right - b.left >= settings.minSize && b.bottom - b.top >= settings.minSize)
            boxes.push_back(Storable(b, W, H, settings, int(boxes.size()) + 1));
    }
    // Where the grid finds the very same cards, its boxes stay: the files are today's.
    return SameCards(grid, boxes) ? grid : boxes;
}

ScanBoxList DetectItems(const QImage &picture, PixelSelection selection, const DetectionSettings &settings)
{
    ItemDetector detector;
    return detector.detect(picture, selection, settings);
}
