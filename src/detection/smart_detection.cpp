#include "detection/smart_detection.h"

#include "detection/item_detection.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double kWorkDpi = 150;
constexpr int kQtDefaultDpm = 3780;   // 96 dpi: a picture that carries no resolution of its own

cv::Mat Square(int side) { return cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side)); }

double Dpi(const QImage &picture)
{
    const int dpm = picture.dotsPerMeterX();
    if (dpm > 0 && std::abs(dpm - kQtDefaultDpm) > 1)
        return dpm * 0.0254;
    return picture.width() / (216.0 / 25.4);
}

// The selected part of the picture at 1/f of its size, three channels.
cv::Mat WorkingCopy(const QImage &picture, const QRect &part, int f)
{
    QImage source = picture;
    int channels = 3;
    switch (picture.format()) {
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        channels = 4;
        break;
    default:
        source = picture.convertToFormat(QImage::Format_BGR888);
    }
    const cv::Mat whole(source.height(), source.width(), CV_8UC(channels), const_cast<uchar *>(source.constBits()),
                        size_t(source.bytesPerLine()));
    cv::Mat roi = whole(cv::Rect(part.x(), part.y(), part.width() / f * f, part.height() / f * f));
    const cv::Size size(roi.cols / f, roi.rows / f);
    // One row in f, two neighbours mixed along it: against the sensor noise, and
    // a fraction of the scan is read.
    roi = cv::Mat(roi.rows / f, roi.cols, roi.type(), roi.data, roi.step[0] * size_t(f));
    cv::Mat small;
    cv::resize(roi, small, size, 0, 0, cv::INTER_LINEAR);
    if (channels == 4)
        cv::cvtColor(small, small, cv::COLOR_BGRA2BGR);
    return small;
}

// Lid: what reaches the edge of the part through open pixels (255), by
// neighbours at its four sides or, with diagonals, at all eight.
cv::Mat ReachableLid(const cv::Mat &open, int connectivity)
{
    cv::Mat framed;
    cv::copyMakeBorder(open, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(255));
    cv::floodFill(framed, cv::Point(0, 0), cv::Scalar(128), nullptr, cv::Scalar(), cv::Scalar(), connectivity);
    return framed(cv::Rect(1, 1, open.cols, open.rows)) == 128;
}

// A surface of the second order in x and y fitted to the lid samples, per
// channel; samples far off the surface (a shadow along an edge) are dropped
// and the surface fitted again.
cv::Mat FitSurface(const cv::Mat &mean, const cv::Mat &count)
{
    const auto terms = [&](int x, int y) {
        const double u = double(x) / mean.cols - 0.5, v = double(y) / mean.rows - 0.5;
        return cv::Matx<double, 1, 6>(1, u, v, u * u, u * v, v * v);
    };
    cv::Mat weight = count.clone();
    cv::Matx<double, 6, 3> coef = cv::Matx<double, 6, 3>::zeros();
    for (int round = 0; round < 3; ++round) {
        cv::Matx<double, 6, 6> a = cv::Matx<double, 6, 6>::zeros();
        cv::Matx<double, 6, 3> b = cv::Matx<double, 6, 3>::zeros();
        // One block in four is plenty for a surface of six terms.
        for (int y = 0; y < mean.rows; y += 2)
            for (int x = 0; x < mean.cols; x += 2) {
                const float w = weight.at<float>(y, x);
                if (w <= 0.5f)
                    continue;
                const auto t = terms(x, y);
                const cv::Vec3f c = mean.at<cv::Vec3f>(y, x);
                a += w * t.t() * t;
                b += w * t.t() * cv::Matx<double, 1, 3>(c[0], c[1], c[2]);
            }
        cv::Mat solution;
        if (!cv::solve(cv::Mat(a), cv::Mat(b), solution, cv::DECOMP_CHOLESKY))
            break;
        coef = cv::Matx<double, 6, 3>(solution.ptr<double>());
        for (int y = 0; y < mean.rows; y += 2)
            for (int x = 0; x < mean.cols; x += 2) {
                const auto fit = terms(x, y) * coef;
                const cv::Vec3f c = mean.at<cv::Vec3f>(y, x);
                const double off = std::max({std::abs(c[0] - fit(0)), std::abs(c[1] - fit(1)), std::abs(c[2] - fit(2))});
                if (off > 6)
                    weight.at<float>(y, x) = 0;
            }
    }
    cv::Mat surface(mean.size(), CV_32FC3);
    for (int y = 0; y < mean.rows; ++y)
        for (int x = 0; x < mean.cols; ++x) {
            const auto fit = terms(x, y) * coef;
            surface.at<cv::Vec3f>(y, x) = cv::Vec3f(float(fit(0)), float(fit(1)), float(fit(2)));
        }
    return surface;
}

// Per block of block x block pixels the mean of the copy where mask is set,
// counting the rest as black, and the share of the block the mask covers.
void BlockMeans(const cv::Mat &work, const cv::Mat &mask, int block, cv::Size coarse, cv::Mat &sum, cv::Mat &count)
{
    sum.create(coarse, CV_32FC3);
    count.create(coarse, CV_32F);
    const int xs = std::min(work.cols / block, coarse.width), ys = std::min(work.rows / block, coarse.height);
    sum.setTo(cv::Scalar::all(0));
    count.setTo(0);
    std::vector<int> acc(size_t(xs) * 4);
    const float area = float(block * block);
    for (int by = 0; by < ys; ++by) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int y = by * block; y < (by + 1) * block; ++y) {
            const uchar *p = work.ptr<uchar>(y), *m = mask.ptr<uchar>(y);
            for (int bx = 0; bx < xs; ++bx) {
                int *a = &acc[size_t(bx) * 4];
                for (int x = bx * block; x < (bx + 1) * block; ++x) {
                    const int on = m[x] ? 1 : 0;
                    a[0] += p[3 * x] * on;
                    a[1] += p[3 * x + 1] * on;
                    a[2] += p[3 * x + 2] * on;
                    a[3] += on;
                }
            }
        }
        for (int bx = 0; bx < xs; ++bx) {
            const int *a = &acc[size_t(bx) * 4];
            sum.at<cv::Vec3f>(by, bx) = cv::Vec3f(float(a[0]), float(a[1]), float(a[2])) / area;
            count.at<float>(by, bx) = float(a[3]) / area;
        }
    }
}

// The lid's colour everywhere: where lid lies close by, its own colour there
// (so a shadow is followed), under the cards the fitted surface.
cv::Mat LidModel(const cv::Mat &work, const cv::Mat &lid)
{
    constexpr int block = 8;
    const cv::Size coarse(std::max(1, work.cols / block), std::max(1, work.rows / block));
    cv::Mat sure, sum, count;
    cv::erode(lid, sure, Square(5));
    BlockMeans(work, sure, block, coarse, sum, count);

    cv::Mat mean(coarse, CV_32FC3, cv::Scalar::all(0));
    for (int y = 0; y < coarse.height; ++y)
        for (int x = 0; x < coarse.width; ++x)
            if (count.at<float>(y, x) > 0.05f)
                mean.at<cv::Vec3f>(y, x) = sum.at<cv::Vec3f>(y, x) / count.at<float>(y, x);
    cv::Mat model = FitSurface(mean, count);
    cv::Mat s, c;
    cv::blur(sum, s, cv::Size(3, 3));
    cv::blur(count, c, cv::Size(3, 3));
    for (int y = 0; y < coarse.height; ++y)
        for (int x = 0; x < coarse.width; ++x)
            if (c.at<float>(y, x) > 0.3f)
                model.at<cv::Vec3f>(y, x) = s.at<cv::Vec3f>(y, x) / c.at<float>(y, x);
    cv::Mat narrow, full;
    model.convertTo(narrow, CV_8UC3);
    cv::resize(narrow, full, work.size(), 0, 0, cv::INTER_LINEAR);
    return full;
}

// Largest difference over the three channels between the copy and the lid.
cv::Mat DistanceFromLid(const cv::Mat &work, const cv::Mat &model)
{
    cv::Mat diff;
    cv::absdiff(work, model, diff);
    std::vector<cv::Mat> ch;
    cv::split(diff, ch);
    return cv::max(cv::max(ch[0], ch[1]), ch[2]);
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

// Along one line through a card: platform colour between two stretches of
// card is a gap the grid did not see, or paper it cannot tell from the lid.
struct GapWatch {
    bool card = false, lidAfterCard = false, gap = false;
    void feed(bool key)
    {
        if (key)
            lidAfterCard = card;
        else {
            gap = gap || lidAfterCard;
            card = true;
        }
    }
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
    // Columns catch the gaps that lie along the rows, rows those across them.
    if (!ColumnsHold(px, regions, pitch, step))
        return false;
    // Rows two cells apart; gaps across them are as tall as a card: every other
    // such row is enough to meet them.
    for (int row = 0; row < GridSize; row += 2) {
        const int y = int((row + 0.5) * H / GridSize);
        if (y >= part.top() && y <= part.bottom()
            && !RowHolds(px, y, part.left(), part.right() + 1, regions, row % 4 ? 0 : step))
            return false;
    }
    return true;
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
    const cv::Mat distance = DistanceFromLid(work, LidModel(work, ReachableLid(thick == 0, 4)));
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
