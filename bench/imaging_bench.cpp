// Times the picture operations on a 600-dpi A4 page against peers, in one run.
#include "bench_page.h"

#include "codec/free_bitmap.h"
#include "detection/whitening.h"
#include "imaging/picture.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTransform>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#ifdef KVN_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif
#ifdef KVN_HAVE_VIPS
#include <vips/vips.h>
#endif

namespace {

constexpr int kWidth = 4960, kHeight = 7016;
constexpr int kReps = 7;

double StatusMb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0)
            return std::atof(line.c_str() + n + 1) / 1024.0;
    return 0;
}

// Runs in a process of its own so the high-water mark belongs to the turn alone.
int PeakMemory()
{
    const double startup = StatusMb("VmRSS");
    QImage page = SyntheticPage(kWidth, kHeight);
    const double picture = double(page.sizeInBytes()) / (1 << 20);
    RotateQuarterRight(page);
    const double peak = StatusMb("VmHWM");
    const double limit = (startup + 2 * picture) * 1.10;
    std::printf("peak-memory: ours %.0f MB, limit (start-up %.0f MB + two pictures of %.0f MB + 10%%) %.0f MB, ratio %.2f\n",
                peak, startup, picture, limit, peak / limit);
    return 0;
}

const FreeImageFunctions &fi() { return FI(); }

// The fastest of the references after ours; prints the line.
void ReportFastest(const char *operation, const std::vector<const char *> &names, const std::vector<double> &ms)
{
    size_t best = 1;
    for (size_t k = 2; k < ms.size(); ++k)
        if (ms[k] < ms[best])
            best = k;
    Report(operation, ms[0], names[best - 1], ms[best]);
}

// A library image of page and a slot for what the library turns it into.
struct LibraryTurn {
    TFreeWinBitmap source;
    FIBITMAP *result = nullptr;
    ~LibraryTurn() { drop(); }
    void drop()
    {
        if (result)
            fi().Unload(result);
        result = nullptr;
    }
};

void QuarterTurn(const QImage &page)
{
    QImage ours = page.copy();
    QImage sink;
    LibraryTurn library;
    library.source.CopyFromBitmap(page);
    std::vector<const char *> names = {"QImage::transformed", "FreeImage_Rotate"};
    std::vector<Timed> runs = {
        {[&] { RotateQuarterRight(ours); }, {}},
        {[&] { sink = page.transformed(QTransform().rotate(90)); }, [&] { sink = QImage(); }},
        {[&] { library.result = fi().Rotate(library.source.Dib(), 90, nullptr); }, [&] { library.drop(); }},
    };
#ifdef KVN_HAVE_VIPS
    void *out = nullptr;
    names.push_back("vips_rot");
    runs.push_back({[&] {
        VipsImage *in = vips_image_new_from_memory(page.constBits(), size_t(page.sizeInBytes()),
                                                   page.width(), page.height(), 3, VIPS_FORMAT_UCHAR);
        VipsImage *rot = nullptr;
        size_t size = 0;
        if (in && vips_rot(in, &rot, VIPS_ANGLE_D90, nullptr) == 0)
            out = vips_image_write_to_memory(rot, &size);
        if (rot)
            g_object_unref(rot);
        if (in)
            g_object_unref(in);
    }, [&] { g_free(out); out = nullptr; }});
#endif
    ReportFastest("quarter-turn", names, MediansMs(kReps, runs));
#ifdef KVN_HAVE_VIPS
    g_free(out);
#endif
}

void HalfTurn(const QImage &page)
{
    QImage ours = page.copy();
    QImage sink;
    LibraryTurn library;
    library.source.CopyFromBitmap(page);
    const std::vector<Timed> runs = {
        {[&] { RotateHalf(ours); }, {}},
        {[&] { sink = page.mirrored(true, true); }, [&] { sink = QImage(); }},
        {[&] { library.result = fi().Rotate(library.source.Dib(), 180, nullptr); }, [&] { library.drop(); }},
    };
    ReportFastest("half-turn", {"QImage::mirrored", "FreeImage_Rotate(180)"}, MediansMs(kReps, runs));
}

bool WriteAll(const QString &path, const void *data, size_t size, const void *header = nullptr,
              size_t headerSize = 0)
{
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    bool ok = !header || std::fwrite(header, 1, headerSize, f) == headerSize;
    ok = ok && std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void Saves(const QImage &page, const QString &dir)
{
#ifdef KVN_HAVE_TURBOJPEG
    tjhandle tj = tjInitCompress();
    const std::vector<double> jpeg = MediansMs(kReps, {
        {[&] { SavePictureFile(page, dir + "/ours.jpg", 90, 600); }, {}},
        {[&] {
            unsigned char *out = nullptr;
            unsigned long size = 0;
            tjCompress2(tj, page.constBits(), page.width(), int(page.bytesPerLine()), page.height(), TJPF_BGR,
                        &out, &size, TJSAMP_420, 90, 0);
            WriteAll(dir + "/tj.jpg", out, size);
            tjFree(out);
        }, {}},
    });
    tjDestroy(tj);
    Report("jpeg-save", jpeg[0], "tjCompress2+write", jpeg[1]);
#else
    std::printf("jpeg-save: n/a (turbojpeg not found)\n");
#endif

    const QByteArray header(54, '\0');
    const std::vector<double> bmp = MediansMs(kReps, {
        {[&] { SavePictureFile(page, dir + "/ours.bmp", 90, 600); }, {}},
        {[&] { WriteAll(dir + "/plain.bmp", page.constBits(), size_t(page.sizeInBytes()), header.constData(), 54); }, {}},
        {[&] { SavePictureFile(page, dir + "/ours.tif", 90, 600); }, {}},
    });
    Report("bmp-save", bmp[0], "fwrite", bmp[1]);
    Report("tiff-save", bmp[2], "bmp-save", bmp[0]);
    // The TIFF strips are encoded on every core: when others load the machine,
    // the processor time says what the wall time cannot.
    const auto cpuMs = [&](const QString &name) {
        const std::clock_t from = std::clock();
        for (int i = 0; i < 3; ++i)
            SavePictureFile(page, dir + name, 90, 600);
        return double(std::clock() - from) * 1000.0 / CLOCKS_PER_SEC / 3;
    };
    const double bmpCpu = cpuMs("/ours.bmp"), tiffCpu = cpuMs("/ours.tif");
    std::printf("  processor time a save: tiff %.1f ms, bmp %.1f ms, ratio %.2f\n", tiffCpu, bmpCpu,
                bmpCpu > 0 ? tiffCpu / bmpCpu : 0.0);
}

void LoadPreview(const QImage &page, const QString &dir)
{
    const QString preview = dir + "/preview.bmp";
    SavePictureFile(page, preview, 90, 600);
    QImage picture;
    LoadPictureFile(picture, preview);   // warms the page cache
    const QByteArray name = QFile::encodeName(preview);
    const std::vector<double> ms = MediansMs(kReps, {
        {[&] { LoadPictureFile(picture, preview); }, [&] { picture = QImage(); }},
        {[&] {
            FILE *f = std::fopen(name.constData(), "rb");
            std::fseek(f, 0, SEEK_END);
            const long size = std::ftell(f);
            std::fseek(f, 0, SEEK_SET);
            void *buffer = std::malloc(size_t(size));
            if (std::fread(buffer, 1, size_t(size), f) != size_t(size))
                std::perror("fread");
            std::fclose(f);
            std::free(buffer);
        }, {}},
    });
    Report("load-preview", ms[0], "fread", ms[1]);

    // A picture file from elsewhere goes through the decoder program: beside the
    // same decoding in this process, the cost of the process and the hand-over.
    const QString tiff = dir + "/other.tif";
    SavePictureFile(page, tiff, 90, 600);
    const std::vector<double> decoded = MediansMs(kReps, {
        {[&] { LoadPictureFile(picture, tiff); }, [&] { picture = QImage(); }},
        {[&] { DecodePictureFile(tiff, picture, {}); }, [&] { picture = QImage(); }},
    });
    Report("load-decoded", decoded[0], "in-process", decoded[1]);
}
}

// The glass all around one card, walked over a box the size of the page.
void Whiten()
{
    QImage glass(kWidth, kHeight, QImage::Format_BGR888);
    glass.fill(QColor(200, 205, 210));   // a grey cover seen through the glass
    const QImage card = SyntheticPage(kWidth / 2, kHeight / 2);
    for (int y = 0; y < card.height(); ++y)
        std::memcpy(glass.scanLine(kHeight / 4 + y) + size_t(kWidth / 4) * 3, card.constScanLine(y),
                    size_t(card.width()) * 3);
    const BackgroundKey key = BackgroundKey::fromColour(210u * 65536u + 205u * 256u + 200u, 3);
    QImage work;
    const std::vector<double> ms = MediansMs(kReps, {
        {[&] { WhitenBackground(work, {0, 0, kWidth, kHeight}, key); }, [&] { work = glass.copy(); }},
        {[&] {
            for (int y = 0; y < work.height(); ++y) {
                uchar *row = work.scanLine(y);
                for (int x = 0; x < kWidth * 3; ++x)
                    row[x] = uchar(255 - row[x]);
            }
        }, [&] { work = glass.copy(); }},
    });
    Report("whiten", ms[0], "one read-write pass", ms[1]);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--peak") == 0)
        return PeakMemory();
    QGuiApplication app(argc, argv);
    if (!IsImageLibraryLoaded()) {
        std::fprintf(stderr, "the image library could not be bound\n");
        return 1;
    }
#ifdef KVN_HAVE_VIPS
    if (VIPS_INIT(argv[0]) == 0)
        vips_concurrency_set(1);   // ours runs on one thread too
#endif
    // Files go to memory when it can hold them: the disk's writeback would
    // otherwise decide the saving figures rather than the work compared.
    const QString base = QStorageInfo("/dev/shm").bytesAvailable() > (qint64(2) << 30) ? "/dev/shm" : QDir::currentPath();
    QTemporaryDir dir(base + "/bench-imaging-XXXXXX");
    std::printf("files in %s\n", qPrintable(base));
    const QImage page = SyntheticPage(kWidth, kHeight);
    std::printf("page: %d x %d, 24-bit, %.0f MB; medians of %d runs\n", page.width(), page.height(),
                double(page.sizeInBytes()) / (1 << 20), kReps);
    QuarterTurn(page);
    HalfTurn(page);
    Saves(page, dir.path());
    LoadPreview(page, dir.path());
    Whiten();
    std::fflush(stdout);
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    return std::system(("'" + self + "' --peak").c_str()) == 0 ? 0 : 1;
}
