#include "detection/lid_model.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kQtDefaultDpm = 3780;   // 96 dpi: a picture that carries no resolution of its own

} // namespace

cv::Mat Square(int side) { return cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side)); }

double Dpi(const QImage &picture)
{
    const int dpm = picture.dotsPerMeterX();
    if (dpm > 0 && std::abs(dpm - kQtDefaultDpm) > 1)
        return dpm * 0.0254;
    return picture.width() / (216.0 / 25.4);
}

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
    // Each row of the copy comes from one row of the scan: two bands, one per
    // core, give the same copy while twice the memory is waited for at once.
    cv::Mat small(size, roi.type());
    constexpr int bands = 2;
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range &range) {
        for (int band = range.start; band < range.end; ++band) {
            const int from = size.height * band / bands, to = size.height * (band + 1) / bands;
            if (from < to) {
                cv::Mat out = small.rowRange(from, to);
                cv::resize(roi.rowRange(from, to), out, out.size(), 0, 0, cv::INTER_LINEAR);
            }
        }
    });
    if (channels == 4)
        cv::cvtColor(small, small, cv::COLOR_BGRA2BGR);
    return small;
}

cv::Mat ReachableLid(const cv::Mat &open, int connectivity)
{
    cv::Mat framed;
    cv::copyMakeBorder(open, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(255));
    cv::floodFill(framed, cv::Point(0, 0), cv::Scalar(128), nullptr, cv::Scalar(), cv::Scalar(), connectivity);
    return framed(cv::Rect(1, 1, open.cols, open.rows)) == 128;
}

namespace {

// A surface of the second order in x and y fitted to the lid samples, per
// channel; samples far off the surface (a shadow along an edge) are dropped
// and the surface fitted again, three times at most.
cv::Mat FitSurface(const cv::Mat &mean, const cv::Mat &count)
{
    struct Sample {
        double t[6];
        float c[3], w;
    };
    const auto terms = [&](int x, int y, double *t) {
        const double u = double(x) / mean.cols - 0.5, v = double(y) / mean.rows - 0.5;
        t[0] = 1, t[1] = u, t[2] = v, t[3] = u * u, t[4] = u * v, t[5] = v * v;
    };
    // One block in four is plenty for a surface of six terms.
    std::vector<Sample> samples;
    for (int y = 0; y < mean.rows; y += 2)
        for (int x = 0; x < mean.cols; x += 2)
            if (count.at<float>(y, x) > 0.5f) {
                Sample s;
                terms(x, y, s.t);
                const cv::Vec3f c = mean.at<cv::Vec3f>(y, x);
                s.c[0] = c[0], s.c[1] = c[1], s.c[2] = c[2];
                s.w = count.at<float>(y, x);
                samples.push_back(s);
            }
    double coef[6][3] = {};
    const auto offFit = [&](const Sample &s) {
        double off = 0;
        for (int k = 0; k < 3; ++k) {
            double fit = 0;
            for (int i = 0; i < 6; ++i)
                fit += s.t[i] * coef[i][k];
            off = std::max(off, std::abs(s.c[k] - fit));
        }
        return off;
    };
    for (int round = 0; round < 3 && !samples.empty(); ++round) {
        cv::Matx<double, 6, 6> a = cv::Matx<double, 6, 6>::zeros();
        cv::Matx<double, 6, 3> b = cv::Matx<double, 6, 3>::zeros();
        for (const Sample &s : samples)
            for (int i = 0; i < 6; ++i) {
                const double wt = s.w * s.t[i];
                for (int j = 0; j < 6; ++j)
                    a(i, j) += wt * s.t[j];
                for (int k = 0; k < 3; ++k)
                    b(i, k) += wt * s.c[k];
            }
        cv::Mat solution;
        if (!cv::solve(cv::Mat(a), cv::Mat(b), solution, cv::DECOMP_CHOLESKY))
            break;
        for (int i = 0; i < 6; ++i)
            for (int k = 0; k < 3; ++k)
                coef[i][k] = solution.at<double>(i, k);
        const size_t before = samples.size();
        samples.erase(std::remove_if(samples.begin(), samples.end(), [&](const Sample &s) { return offFit(s) > 6; }),
                      samples.end());
        if (samples.size() == before)
            break;
    }
    // Per row the surface is a parabola in u.
    cv::Mat surface(mean.size(), CV_32FC3);
    for (int y = 0; y < mean.rows; ++y) {
        const double v = double(y) / mean.rows - 0.5;
        double a[3], b[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = coef[0][k] + coef[2][k] * v + coef[5][k] * v * v;
            b[k] = coef[1][k] + coef[4][k] * v;
        }
        auto *row = surface.ptr<cv::Vec3f>(y);
        for (int x = 0; x < mean.cols; ++x) {
            const double u = double(x) / mean.cols - 0.5;
            for (int k = 0; k < 3; ++k)
                row[x][k] = float(a[k] + u * (b[k] + coef[3][k] * u));
        }
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

} // namespace

cv::Mat LidModel(const cv::Mat &work, const cv::Mat &sure, int block)
{
    const cv::Size coarse(std::max(1, work.cols / block), std::max(1, work.rows / block));
    cv::Mat sum, count;
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

cv::Mat DistanceFromLid(const cv::Mat &work, const cv::Mat &model)
{
    cv::Mat diff;
    cv::absdiff(work, model, diff);
    std::vector<cv::Mat> ch;
    cv::split(diff, ch);
    return cv::max(cv::max(ch[0], ch[1]), ch[2]);
}

