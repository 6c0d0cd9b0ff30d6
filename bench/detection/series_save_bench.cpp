// Saving a series of eight cards, fronts at 600 dpi and backs at 300 dpi, as
// JPEG quality 90: cut-out, whitening, joining and encoding through the
// program's own picture saving on every core, against libjpeg-turbo alone encoding the same
// eight pictures (4:2:0) and writing the files, measured in the same run.
#include "bench_scene.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "imaging/picture_file.h"
#include "imaging/save_queue.h"

#include <QDir>
#include <QGuiApplication>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <turbojpeg.h>

namespace {

// Median of runs, with prepare run untimed before each.
template <class P, class F> double MedianMs(int runs, P prepare, F work)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        t.push_back(bench::Millis(std::chrono::steady_clock::now() - start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

bool TurboSave(tjhandle tj, const QImage &p, const QString &path)
{
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, p.constBits(), p.width(), int(p.bytesPerLine()), p.height(), TJPF_BGR, &jpeg, &size,
                    TJSAMP_420, 90, 0) != 0)
        return false;
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    const bool ok = f && std::fwrite(jpeg, 1, size, f) == size;
    if (f)
        ok ? (void)std::fclose(f) : (void)std::fclose(f);
    tjFree(jpeg);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Files go to memory when it can hold them, as in bench/imaging: the disk's
    // writeback would otherwise decide the figures rather than the work compared.
    QTemporaryDir dir(QStorageInfo("/dev/shm").bytesAvailable() > (qint64(1) << 30)
                          ? QStringLiteral("/dev/shm/series-save-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/series-save-XXXXXX"));

    const QImage frontScan = bench::Scan(bench::PageWidth, bench::PageHeight, bench::Cards(), 7);
    const QImage backScan = bench::Scan(bench::PageWidth / 2, bench::PageHeight / 2, bench::Cards(0.5, 60, 40), 9);
    DetectionSettings ds;
    ds.columns = 2;
    ScanBoxList fronts = DetectItems(frontScan, {0, 0, frontScan.width(), frontScan.height()}, ds);
    OrderBoxes(fronts, ds.columns);
    const ScanBoxList backs0 = DetectItems(backScan, {0, 0, backScan.width(), backScan.height()}, ds);

    CutOutSettings cs;
    cs.whiten = true;
    cs.key = ds.key();
    cs.background = ds.background;
    cs.columns = ds.columns;

    QImage front, shown;
    ScanBoxList backs;
    std::vector<QImage> pictures;
    int savedOk = 0;
    const auto prepare = [&] {
        front = frontScan.copy();   // whitening changes the stored front scan
        backs = backs0;
        pictures.clear();
        savedOk = 0;
    };
    PictureSaveQueue saves;   // as the scan window saves a series: on every core
    const auto runOurs = [&] {
        const FrontSide side{&front, &fronts, int(fronts.size())};
        int n = 0;
        CutOutBoxes(backScan, backs, int(backs.size()), &side, cs, [&](const CardPictures &c) {
            const QImage &p = c.joined;
            const QString path = dir.filePath(QString("kaart%1.jpg").arg(++n, 3, 10, QChar('0')));
            saves.save(p, path, 90, 300, [&](int result) { savedOk += result >= 0; });
            shown = p;   // the window keeps the last box on screen, not all of them
        });
        saves.finish();
    };
    // The same pictures for the reference, made untimed.
    prepare();
    {
        const FrontSide side{&front, &fronts, int(fronts.size())};
        CutOutBoxes(backScan, backs, int(backs.size()), &side, cs, [&](const CardPictures &c) { pictures.push_back(c.joined); });
    }
    const std::vector<QImage> made = pictures;
    pictures.clear();
    tjhandle tj = tjInitCompress();
    int turboOk = 0;
    const auto runReference = [&] {
        turboOk = 0;
        int n = 0;
        for (const QImage &p : made)
            turboOk += TurboSave(tj, p, dir.filePath(QString("turbo%1.jpg").arg(++n, 3, 10, QChar('0'))));
    };

    // The first series of a session also pays for memory the system hands out
    // afresh; it is shown on its own. Then ours and the reference take turns, so
    // that a change in the machine's load hits both alike. Processor time beside
    // the wall time: on a machine others load, the wall time of work spread over
    // cores says little by itself.
    prepare();
    const auto firstStart = std::chrono::steady_clock::now();
    runOurs();
    const double first = bench::Millis(std::chrono::steady_clock::now() - firstStart);
    runReference();
    constexpr int kRounds = 15;
    std::vector<double> oursMs, referenceMs;
    double oursCpu = 0, referenceCpu = 0;
    const auto timed = [](const std::function<void()> &work, std::vector<double> &wall, double &cpu) {
        const std::clock_t from = std::clock();
        const auto start = std::chrono::steady_clock::now();
        work();
        wall.push_back(bench::Millis(std::chrono::steady_clock::now() - start));
        cpu += double(std::clock() - from) * 1000.0 / CLOCKS_PER_SEC / kRounds;
    };
    for (int i = 0; i < kRounds; ++i) {
        prepare();
        timed(runOurs, oursMs, oursCpu);
        timed(runReference, referenceMs, referenceCpu);
    }
    std::sort(oursMs.begin(), oursMs.end());
    std::sort(referenceMs.begin(), referenceMs.end());
    const double ours = oursMs[kRounds / 2], reference = referenceMs[kRounds / 2];
    const int oursSaved = savedOk;
    shown = QImage();
    tjDestroy(tj);
    const auto cpuMs = [](std::clock_t from) { return double(std::clock() - from) * 1000.0 / CLOCKS_PER_SEC / 5; };
    std::clock_t cpuFrom;

    // Where the time goes, for whoever tunes it.
    cpuFrom = std::clock();
    for (int i = 0; i < 5; ++i)
        prepare();
    const double prepareCpu = cpuMs(cpuFrom);
    cpuFrom = std::clock();
    const double cutting = MedianMs(5, prepare, [&] {
        const FrontSide side{&front, &fronts, int(fronts.size())};
        CutOutBoxes(backScan, backs, int(backs.size()), &side, cs, [&](const CardPictures &c) { shown = c.joined; });
    });
    const double cuttingCpu = cpuMs(cpuFrom) - prepareCpu;
    shown = QImage();
    const double encoding = MedianMs(5, [] {}, [&] {
        int n = 0;
        for (const QImage &p : made)
            SavePictureFile(p, dir.filePath(QString("enc%1.jpg").arg(++n, 3, 10, QChar('0'))), 90, 300);
    });
    PictureSaveQueue one(1);
    const double single = MedianMs(5, [] {}, [&] {
        int n = 0;
        for (const QImage &p : made)
            one.save(p, dir.filePath(QString("one%1.jpg").arg(++n, 3, 10, QChar('0'))), 90, 300, {});
        one.finish();
    });
    const double both = MedianMs(5, [] {}, [&] {
        int n = 0;
        for (const QImage &p : made)
            saves.save(p, dir.filePath(QString("two%1.jpg").arg(++n, 3, 10, QChar('0'))), 90, 300, {});
        saves.finish();
    });
    std::printf("  of which cut-out, whitening and joining %.1f ms, saving %.1f ms (queue of one %.1f, of all cores %.1f)\n", cutting, encoding, single, both);
    std::printf("  processor time a run: ours %.1f ms, of which cut-out %.1f ms; reference %.1f ms\n", oursCpu,
                cuttingCpu, referenceCpu);
    std::printf("  the first series after start: %.1f ms\n", first);

    std::printf("series-save-8-cards-jpeg90: ours %.1f ms, tjCompress2+write on one core %.1f ms, ratio %.2f\n", ours, reference,
                ours / reference);
    if (oursSaved != 8 || turboOk != 8 || fronts.size() != 8) {
        std::fprintf(stderr, "series-save: %d of 8 saved by us, %d by the reference, %zu fronts\n", oursSaved, turboOk,
                     fronts.size());
        return 1;
    }
    return 0;
}
