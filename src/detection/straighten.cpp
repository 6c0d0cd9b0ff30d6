#include "detection/straighten.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// A card must fill this share of its turned bounding rectangle to count as one.
constexpr double kMinFill = 0.93;
// Pixels in a row that must be card before the row's edge is taken: single
// noisy pixels of the glass are no edge.
constexpr int kMinRun = 4;
constexpr int kMinCardPixels = 16;
// Every eighth row is scanned for the card's edges: the sides stay as straight.
constexpr int kRowStep = 8;

struct Point {
    double x, y;
};

double Cross(const Point &o, const Point &a, const Point &b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Andrew's monotone chain; points are sorted in place.
std::vector<Point> ConvexHull(std::vector<Point> &points)
{
    std::sort(points.begin(), points.end(),
              [](const Point &a, const Point &b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<Point> hull(2 * points.size());
    size_t k = 0;
    for (const Point &p : points) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], p) <= 0)
            --k;
        hull[k++] = p;
    }
    for (size_t i = points.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k > 1 ? k - 1 : k);
    return hull;
}

struct Fit {
    double area = 0, radians = 0, centreX = 0, centreY = 0, width = 0, height = 0;
};

// The bounding rectangle of hull turned by radians; pixel centres widen by one.
Fit BoundsAt(const std::vector<Point> &hull, double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    double u0 = 1e300, u1 = -1e300, v0 = 1e300, v1 = -1e300;
    for (const Point &p : hull) {
        const double u = p.x * c + p.y * s, v = -p.x * s + p.y * c;
        u0 = std::min(u0, u);
        u1 = std::max(u1, u);
        v0 = std::min(v0, v);
        v1 = std::max(v1, v);
    }
    Fit f;
    f.width = u1 - u0 + 1;
    f.height = v1 - v0 + 1;
    f.area = f.width * f.height;
    f.radians = radians;
    const double um = (u0 + u1) / 2, vm = (v0 + v1) / 2;
    f.centreX = um * c - vm * s;
    f.centreY = um * s + vm * c;
    return f;
}

// The label of the largest piece of mask (0 when there is none), labels holding every piece's:
// the card is the largest, so a corner of a neighbour inside the box is not measured.
int LargestPiece(const cv::Mat &mask, cv::Mat &labels)
{
    cv::Mat stats, centres;
    const int pieces = cv::connectedComponentsWithStats(mask, labels, stats, centres, 8, CV_32S);
    int largest = 0;
    for (int i = 1; i < pieces; ++i)
        if (largest == 0 || stats.at<int>(i, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA))
            largest = i;
    return largest;
}

// The rectangle of least area round hull, within the lean allowed: it lies along one of the hull's edges.
Fit LeastRectangle(const std::vector<Point> &hull)
{
    const double limit = (kMaxLeanDegrees + 0.5) * kPi / 180;
    Fit best = BoundsAt(hull, 0);
    for (size_t i = 0; i < hull.size(); ++i) {
        const Point &a = hull[i], &b = hull[(i + 1) % hull.size()];
        double angle = std::atan2(b.y - a.y, b.x - a.x);
        // Sides lie a quarter turn apart: bring the angle within an eighth turn of 0.
        angle -= std::round(angle / (kPi / 2)) * (kPi / 2);
        if (std::abs(angle) > limit)
            continue;
        const Fit f = BoundsAt(hull, angle);
        if (f.area < best.area)
            best = f;
    }
    return best;
}

} // namespace

CardLean MeasureLean(const QImage &picture, const ScanBox &rect, const BackgroundKey &key)
{
    CardLean lean;
    if (picture.format() != QImage::Format_BGR888)
        return lean;
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, picture.width());
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, picture.height());
    if (x1 - x0 < kMinCardPixels || y1 - y0 < kMinCardPixels)
        return lean;

    // Background as the detection sees it, and white as whitening leaves it.
    auto card = [&key](const uchar *p) { return !key.matchesBgr(p) && !(p[0] == 255 && p[1] == 255 && p[2] == 255); };
    // Card pixels of every RowStep-th row, every StepX-th pixel along: enough to
    // tell the card's piece from a corner of a neighbour inside the box.
    constexpr int kStepX = 8;
    const int rows = (y1 - y0 + kRowStep - 1) / kRowStep, cols = x1 - x0, coarse = (cols + kStepX - 1) / kStepX;
    cv::Mat mask(rows, coarse, CV_8U);
    for (int r = 0; r < rows; ++r) {
        const uchar *line = picture.constScanLine(y0 + r * kRowStep) + size_t(x0) * 3;
        uchar *m = mask.ptr<uchar>(r);
        for (int c = 0; c < coarse; ++c)
            m[c] = card(line + size_t(c) * kStepX * 3) ? 255 : 0;
    }
    cv::Mat labels;
    const int largest = LargestPiece(mask, labels);

    // The first pixel from which MinRun pixels in the step direction are card.
    auto edge = [&](const uchar *line, int from, int to, int step) {
        int run = 0;
        for (int x = from; x != to; x += step) {
            run = card(line + size_t(x) * 3) ? run + 1 : 0;
            if (run == kMinRun)
                return x - step * (kMinRun - 1);
        }
        return -1;
    };
    std::vector<Point> points;
    points.reserve(size_t(rows) * 2);
    double spans = 0;
    for (int r = 0; r < rows && largest > 0; ++r) {
        const int *label = labels.ptr<int>(r);
        int cl = 0, cr = coarse - 1;
        while (cl < coarse && label[cl] != largest)
            ++cl;
        if (cl == coarse)
            continue;
        while (label[cr] != largest)
            --cr;
        // The exact edges lie within a step of the piece's outer samples.
        const int y = y0 + r * kRowStep;
        const uchar *line = picture.constScanLine(y);
        const int inLeft = x0 + std::min(cols - 1, cl * kStepX + kMinRun), inRight = x0 + std::max(0, cr * kStepX - kMinRun);
        const int left = edge(line, std::max(x0, x0 + (cl - 1) * kStepX + 1), std::max(inLeft, inRight) + 1, 1);
        const int right = edge(line, std::min(x1 - 1, x0 + (cr + 1) * kStepX - 1), std::min(inLeft, inRight) - 1, -1);
        if (left < 0 || right < left)
            continue;
        points.push_back({double(left), double(y)});
        points.push_back({double(right), double(y)});
        spans += (right - left + 1) * std::min(kRowStep, y1 - y);
    }
    if (points.size() < 2 * kMinCardPixels / kRowStep)
        return lean;
    const std::vector<Point> hull = ConvexHull(points);
    if (hull.size() < 3)
        return lean;

    const Fit best = LeastRectangle(hull);
    if (spans < kMinFill * best.area)
        return lean;   // not a rectangle: a round photo, two cards, a torn corner
    lean.degrees = best.radians * 180 / kPi;
    if (std::abs(lean.degrees) > kMaxLeanDegrees)
        return lean;
    lean.confident = true;
    lean.centreX = best.centreX;
    lean.centreY = best.centreY;
    // Rows are sampled every RowStep: the card may reach that much further up and down.
    lean.width = best.width;
    lean.height = best.height + kRowStep;
    return lean;
}

ScanBox StraightenedRect(const ScanBox &box, const CardLean &lean)
{
    if (!NeedsTurning(lean))
        return box;
    // The card as it lies spans this much across and down; the widest of the
    // four gaps between it and the box is the margin detection gave (the others
    // lose up to a grid cell to where the cells fell on the card).
    const double r = lean.degrees * kPi / 180, c = std::abs(std::cos(r)), s = std::abs(std::sin(r));
    const double across = lean.width * c + lean.height * s, down = lean.width * s + lean.height * c;
    const double gap = std::max({lean.centreX - across / 2 - box.left, box.right - (lean.centreX + across / 2),
                                 lean.centreY - down / 2 - box.top, box.bottom - (lean.centreY + down / 2), 0.0});
    const int w = int(std::min<double>(box.width(), std::ceil(lean.width + 2 * gap)));
    const int h = int(std::min<double>(box.height(), std::ceil(lean.height + 2 * gap)));
    const int left = int(std::lround(lean.centreX - (w - 1) / 2.0)), top = int(std::lround(lean.centreY - (h - 1) / 2.0));
    return {left, top, left + w, top + h};
}
