#include "detection/smart_detection.h"

#include "detection/item_detection.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
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
    // Whole multiples of f keep the averaging on its fast path.
    cv::Mat roi = whole(cv::Rect(part.x(), part.y(), part.width() / f * f, part.height() / f * f));
    const cv::Size size(roi.cols / f, roi.rows / f);
    // One row in f, averaged along, is enough against the sensor noise and reads a
    // fraction of the scan.
    roi = cv::Mat(roi.rows / f, roi.cols, roi.type(), roi.data, roi.step[0] * size_t(f));
    cv::Mat small;
    cv::resize(roi, small, size, 0, 0, cv::INTER_AREA);
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
        for (int y = 0; y < mean.rows; ++y)
            for (int x = 0; x < mean.cols; ++x) {
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
        for (int y = 0; y < mean.rows; ++y)
            for (int x = 0; x < mean.cols; ++x) {
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

// The lid's colour everywhere: where lid lies close by, its own colour there
// (so a shadow is followed), under the cards the fitted surface.
cv::Mat LidModel(const cv::Mat &work, const cv::Mat &lid)
{
    constexpr int block = 8;
    const cv::Size coarse(std::max(1, work.cols / block), std::max(1, work.rows / block));
    const cv::Rect whole(0, 0, std::min(work.cols, coarse.width * block), std::min(work.rows, coarse.height * block));
    cv::Mat sure, masked(work.size(), CV_8UC3, cv::Scalar::all(0)), wide, sum8, count8, sum, count;
    cv::erode(lid, sure, Square(5));
    work.copyTo(masked, sure);
    // Sums in 16 bits keep the averages of the blocks exact enough.
    masked(whole).convertTo(wide, CV_16UC3, 256);
    cv::resize(wide, sum8, coarse, 0, 0, cv::INTER_AREA);
    cv::resize(sure(whole), count8, coarse, 0, 0, cv::INTER_AREA);
    sum8.convertTo(sum, CV_32FC3, 1.0 / 256);
    count8.convertTo(count, CV_32F, 1.0 / 255);

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

} // namespace

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
    cv::Mat edges;
    cv::Canny(work, edges, 16, 40, 3, true);
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
