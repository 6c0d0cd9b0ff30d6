// The cut-out of eight memorial cards laid askew on a 600-dpi A4 scan, with
// "Kaarten rechtzetten" against the same cut-out without it, in the same run.
#include "bench_scene.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
double Ms(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double Median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    // Eight cards of 7.6 x 5.5 cm in two columns, each turned by its own lean
    // of 2 to 9 degrees, far enough apart that no box reaches into another card.
    std::vector<SyntheticCard> cards;
    for (int i = 0; i < 8; ++i)
        cards.push_back(bench::Card(QRect(i % 2 ? 2700 : 350, 250 + (i / 2) * 1700, 1800, 1300),
                                    (i % 2 ? -1 : 1) * (2.0 + double(i))));
    const QImage scan = bench::Scan(bench::PageWidth, bench::PageHeight, cards, 7);

    DetectionSettings d;
    d.columns = 2;
    ScanBoxList boxes = DetectItems(scan, {0, 0, scan.width(), scan.height()}, d);
    OrderBoxes(boxes, d.columns);
    CutOutSettings s;
    s.whiten = true;
    s.key = d.key();
    s.columns = d.columns;
    QImage last;
    // Runs alternate, so a machine shared with other work slows both sides alike.
    constexpr int Runs = 7;
    std::vector<double> wall[2], cpu[2];
    for (int i = 0; i < Runs; ++i) {
        for (int straighten = 0; straighten < 2; ++straighten) {
            s.straighten = straighten != 0;
            const double w = Ms(CLOCK_MONOTONIC), c = Ms(CLOCK_PROCESS_CPUTIME_ID);
            CutOutBoxes(scan, boxes, int(boxes.size()), nullptr, s, [&](const CardPictures &p) { last = p.joined; });
            wall[straighten].push_back(Ms(CLOCK_MONOTONIC) - w);
            cpu[straighten].push_back(Ms(CLOCK_PROCESS_CPUTIME_ID) - c);
        }
    }
    const double ours = Median(wall[1]), reference = Median(wall[0]);
    std::printf("straighten: ours %.1f ms, cut-out without straightening %.1f ms, ratio %.2f (wall clock of one run, "
                "median of %d; limit 2)\n",
                ours, reference, ours / reference, Runs);
    // Turning shares the work with a second core: what all threads spent together.
    const double oursCpu = Median(cpu[1]), referenceCpu = Median(cpu[0]);
    std::printf("straighten-processor-time-all-threads: ours %.1f ms, cut-out without straightening %.1f ms, ratio %.2f\n",
                oursCpu, referenceCpu, oursCpu / referenceCpu);
    if (boxes.size() != 8)
        std::fprintf(stderr, "cut-out-straighten: %zu boxes found, 8 expected\n", boxes.size());
    return boxes.size() == 8 ? 0 : 1;
}
