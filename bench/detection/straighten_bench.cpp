// The cut-out of eight memorial cards laid askew on a 600-dpi A4 scan, with
// "Kaarten rechtzetten" against the same cut-out without it, in the same run.
#include "bench_scene.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"

#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
// Median of runs of f in milliseconds of the given clock: processor time as
// the machine may be shared, and both sides are measured the same way.
template <class F> double MedianMs(clockid_t clock, int runs, F f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        timespec a{}, b{};
        clock_gettime(clock, &a);
        f();
        clock_gettime(clock, &b);
        t.push_back((b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6);
    }
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
    std::vector<QRect> cards;
    for (int i = 0; i < 8; ++i)
        cards.push_back(QRect(i % 2 ? 2700 : 350, 250 + (i / 2) * 1700, 1800, 1300));
    const QImage upright = bench::Scan(bench::PageWidth, bench::PageHeight, cards, 7);
    QImage canvas(upright.size(), QImage::Format_RGB32);
    canvas.fill(QColor(254, 254, 254));
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        for (size_t i = 0; i < cards.size(); ++i) {
            const QRect &c = cards[i];
            p.save();
            p.translate(c.center());
            p.rotate((i % 2 ? -1 : 1) * (2.0 + double(i)));
            p.drawImage(QPoint(-c.width() / 2, -c.height() / 2), upright.copy(c));
            p.restore();
        }
    }
    const QImage scan = canvas.convertToFormat(QImage::Format_BGR888);
    canvas = QImage();

    DetectionSettings d;
    d.columns = 2;
    ScanBoxList boxes = DetectItems(scan, {0, 0, scan.width(), scan.height()}, d);
    OrderBoxes(boxes, d.columns);
    CutOutSettings s;
    s.whiten = true;
    s.key = d.key();
    s.columns = d.columns;
    QImage last;
    auto cut = [&](bool straighten, clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
        s.straighten = straighten;
        return MedianMs(clock, 5, [&] {
            CutOutBoxes(scan, boxes, int(boxes.size()), nullptr, s, [&](const CardPictures &c) { last = c.joined; });
        });
    };
    const double reference = cut(false);
    const double ours = cut(true);
    std::printf("cut-out-straighten-a4-600dpi: ours %.1f ms, reference %.1f ms, ratio %.2f (limit 2; processor time)\n", ours,
                reference, ours / reference);
    // Turning may share the work with a second core: what all threads spent, and the wall clock.
    std::printf("cut-out-straighten-a4-600dpi-all-threads: ours %.1f ms, reference %.1f ms; wall clock ours %.1f ms, "
                "reference %.1f ms\n",
                cut(true, CLOCK_PROCESS_CPUTIME_ID), cut(false, CLOCK_PROCESS_CPUTIME_ID), cut(true, CLOCK_MONOTONIC),
                cut(false, CLOCK_MONOTONIC));
    if (boxes.size() != 8)
        std::fprintf(stderr, "cut-out-straighten: %zu boxes found, 8 expected\n", boxes.size());
    return boxes.size() == 8 ? 0 : 1;
}
