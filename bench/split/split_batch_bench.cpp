// kvnscan-split --batch on 20 A4 300-dpi scans with six cards each (detection,
// whitening, cut-out, JPEG quality 90, on every core) against the pipeline
// people write for this with OpenCV (threshold, outer contours, bounding
// rectangles, crop, imwrite at the same quality), also on every core, in the
// same run. Both read the same BMP files and write into memory-backed folders.
#include "common/synthetic_scan.h"
#include "detection/item_detection.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

namespace {

constexpr int kScans = 20, kWidth = 2480, kHeight = 3508, kCards = 6, kQuality = 90;

// Two columns by three rows of 9 x 6.5 cm cards, each scan laid a little differently.
std::vector<SyntheticCard> Cards(int scan)
{
    std::vector<SyntheticCard> cards;
    const int w = MmToPixels(90, 300), h = MmToPixels(65, 300);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 2; ++col) {
            SyntheticCard c;
            c.rect = QRect(120 + col * (w + 150) + (scan * 7) % 40, 150 + row * (h + 260) + 30 * col, w, h);
            c.photo = (row + col + scan) % 2 == 0;
            c.shade = 30;
            c.border = QColor(226, 220, 204);
            c.face = QColor(240, 235, 222);
            c.seed = uint32_t(scan * 10 + row * 2 + col);
            cards.push_back(c);
        }
    return cards;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Ours as a user runs it: the program on the folder.
double RunOurs(const QString &in, const QString &out, int &files)
{
    QDir(out).removeRecursively();
    const auto start = std::chrono::steady_clock::now();
    QProcess p;
    p.start(QStringLiteral(KVN_SPLIT_PROGRAM), {QStringLiteral("--batch"), in, QStringLiteral("--out"), out,
                                                 QStringLiteral("--white"), QStringLiteral("--quality"),
                                                 QString::number(kQuality)});
    p.waitForFinished(-1);
    const double ms = Since(start);
    files = p.exitCode() == 0 ? int(QDir(out).entryList(QDir::Files).size()) : -1;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "kvnscan-split: %s\n", p.readAllStandardError().constData());
    return ms;
}

// The usual OpenCV pipeline for one scan; the rectangles it cropped.
std::vector<cv::Rect> OpenCvScan(const std::string &path, const std::string &out)
{
    const cv::Mat scan = cv::imread(path, cv::IMREAD_COLOR);
    cv::Mat grey, mask;
    cv::cvtColor(scan, grey, cv::COLOR_BGR2GRAY);
    cv::threshold(grey, mask, 250, 255, cv::THRESH_BINARY_INV);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Rect> found;
    for (const auto &c : contours) {
        const cv::Rect r = cv::boundingRect(c);
        if (r.width < 50 || r.height < 50)
            continue;
        found.push_back(r);
        cv::imwrite(out + "_" + std::to_string(found.size()) + ".jpg", scan(r), {cv::IMWRITE_JPEG_QUALITY, kQuality});
    }
    return found;
}

// Every scan through it, a thread per core taking the next scan.
double RunOpenCv(const QStringList &scans, const QString &out, std::vector<std::vector<cv::Rect>> &found)
{
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    found.assign(size_t(scans.size()), {});
    const auto start = std::chrono::steady_clock::now();
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < scans.size(); i = next++)
            found[size_t(i)] = OpenCvScan(QFile::encodeName(scans[i]).toStdString(),
                                          QFile::encodeName(out + QString("/scan%1").arg(i)).toStdString());
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
    return Since(start);
}

// Whether OpenCV's cards are ours: one rectangle inside each of our boxes.
bool SameCards(const QImage &scan, const std::vector<cv::Rect> &theirs)
{
    const ScanBoxList ours = DetectItems(scan, {0, 0, scan.width(), scan.height()}, DetectionSettings());
    if (ours.size() != theirs.size())
        return false;
    for (const ScanBox &b : ours)
        if (std::count_if(theirs.begin(), theirs.end(), [&](const cv::Rect &r) {
                return r.x >= b.left && r.y >= b.top && r.x + r.width <= b.left + b.width() &&
                       r.y + r.height <= b.top + b.height();
            }) != 1)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // In memory when it fits, so that the disk's writeback does not decide the figures.
    QTemporaryDir dir(QStorageInfo("/dev/shm").bytesAvailable() > (qint64(2) << 30)
                          ? QStringLiteral("/dev/shm/split-batch-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/split-batch-XXXXXX"));
    const QString in = dir.filePath("scans");
    QDir().mkpath(in);
    QStringList scans;
    std::vector<QImage> pictures;
    for (int i = 0; i < kScans; ++i) {
        pictures.push_back(MakeScan(kWidth, kHeight, {254, 254, 254, 1, uint32_t(i + 1)}, Cards(i)));
        scans << in + QString("/scan%1.bmp").arg(i + 1, 2, 10, QChar('0'));
        pictures.back().setDotsPerMeterX(11811);
        pictures.back().setDotsPerMeterY(11811);
        if (!pictures.back().save(scans.back(), "BMP"))
            return 1;
    }

    // A round of each first, untimed: the files in the page cache, the program's libraries loaded.
    int files = 0;
    std::vector<std::vector<cv::Rect>> found;
    RunOurs(in, dir.filePath("ours"), files);
    RunOpenCv(scans, dir.filePath("opencv"), found);
    // Then turns, so that a change in the machine's load hits both alike; the medians.
    std::vector<double> ours, theirs;
    for (int round = 0; round < 3; ++round) {
        ours.push_back(RunOurs(in, dir.filePath("ours"), files));
        theirs.push_back(RunOpenCv(scans, dir.filePath("opencv"), found));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double o = ours[1], t = theirs[1];
    std::printf("split-batch-20-a4-300dpi: ours %.0f ms, opencv %.0f ms, ratio %.2f\n", o, t, o / t);

    int same = 0;
    for (int i = 0; i < kScans; ++i)
        same += SameCards(pictures[size_t(i)], found[size_t(i)]);
    const bool ok = files == kScans * kCards && same == kScans;
    if (!ok)
        std::fprintf(stderr, "split-batch: ours wrote %d cards of %d; opencv found ours on %d of %d scans\n", files,
                     kScans * kCards, same, kScans);
    return ok ? 0 : 1;
}
