// A 200 × 200 mm colour scan at 600 dpi from SANE's test backend.
// Prints: time from the last device byte to the BMP on disk and loaded back,
// as a ratio to writing and reading the same bytes with plain file I/O; and
// the peak memory of a whole scan as a multiple of the picture's bytes.
// Usage: bench_scan [dpi] [repeats]
#include "scanner/bridge/bmp_writer.h"
#include "scanner/bridge/frame_assembler.h"
#include "scanner/bridge/scan_runner.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Current resident size, from /proc.
long residentKb()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::unique_ptr<SaneDevice> openTestDevice(SaneBackend &backend, int dpi)
{
    std::unique_ptr<SaneDevice> dev;
    if (backend.open("test:0", dev) != SANE_STATUS_GOOD)
        return nullptr;
    SetStringOption(*dev, "mode", "Color");
    SetNumericOption(*dev, SANE_NAME_SCAN_RESOLUTION, dpi);
    SetStringOption(*dev, "test-picture", "Color pattern");
    SetNumericOption(*dev, SANE_NAME_SCAN_BR_X, 200);
    SetNumericOption(*dev, SANE_NAME_SCAN_BR_Y, 200);
    return dev;
}

// Reads every frame of one scan, untimed: the device's own speed is not ours.
std::vector<ScanFrame> readFrames(SaneDevice &dev)
{
    std::vector<ScanFrame> frames;
    if (dev.start() != SANE_STATUS_GOOD)
        return frames;
    ScanFrame f;
    dev.getParameters(&f.params);
    f.data.reserve(size_t(f.params.bytes_per_line) * size_t(f.params.lines));
    std::vector<SANE_Byte> chunk(1 << 18);
    for (;;) {
        SANE_Int len = 0;
        const SANE_Status s = dev.read(chunk.data(), SANE_Int(chunk.size()), &len);
        if (s != SANE_STATUS_GOOD)
            break;
        f.data.insert(f.data.end(), chunk.data(), chunk.data() + len);
    }
    dev.cancel();
    frames.push_back(std::move(f));
    return frames;
}

} // namespace

int main(int argc, char **argv)
{
    const int dpi = argc > 1 ? std::atoi(argv[1]) : 600;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    {
        QFile dll(dir.filePath("dll.conf"));
        dll.open(QIODevice::WriteOnly);
        dll.write("test\n");
        QFile conf(dir.filePath("test.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write("number_of_devices 1\nresolution_max 1200.0\ngeometry_max 200.0\n");
    }
    qputenv("SANE_CONFIG_DIR", dir.path().toLocal8Bit());
    auto backend = MakeRealSaneBackend();
    auto dev = openTestDevice(*backend, dpi);
    if (!dev) {
        std::fprintf(stderr, "cannot open SANE's test backend\n");
        return 1;
    }
    const QString ours = dir.filePath("ours.bmp"), plain = dir.filePath("plain.bmp");

    // Memory: one whole scan as the library does it (read, assemble, write,
    // let go), then the caller loading it. Measured first, on a quiet process.
    const long before = residentKb();
    uint64_t pictureBytes = 0;
    {
        ScanControl control;
        ScanOutcome o = RunScan(*dev, control);
        if (o.kind != ScanOutcome::Done) {
            std::fprintf(stderr, "scan failed: %s\n", o.message.toLocal8Bit().constData());
            return 1;
        }
        pictureBytes = uint64_t(o.image.width()) * uint64_t(o.image.height()) * 3;
        std::printf("picture: %d x %d colour at %d dpi, %.1f MB\n", o.image.width(), o.image.height(), dpi,
                    pictureBytes / 1e6);
        WriteBmp(o.image, o.dpi, ours);
        o.image = QImage();
        const QImage loaded(ours);
        if (loaded.isNull())
            return 1;
    }
    const double peakRatio = double(peakKb() - before) * 1024.0 / double(pictureBytes);
    std::printf("peak memory of scan + write + load: %.2f x the picture bytes (limit 3)\n", peakRatio);

    double best = 1e9, bestPlain = 1e9, stages[3] = {0, 0, 0};
    for (int r = 0; r < repeats; ++r) {
        std::vector<ScanFrame> frames = readFrames(*dev);
        if (frames.empty() || frames[0].data.empty())
            return 1;
        const auto t0 = Clock::now();
        AssembledPicture pic = AssembleFrames(frames);
        frames.clear();
        const auto ta = Clock::now();
        const QString err = WriteBmp(pic.image, dpi, ours);
        pic.image = QImage();
        const auto tw = Clock::now();
        const QImage loaded(ours);
        const auto t1 = Clock::now();
        if (!err.isEmpty() || loaded.isNull())
            return 1;
        if (seconds(t0, t1) < best) {
            best = seconds(t0, t1);
            stages[0] = seconds(t0, ta);
            stages[1] = seconds(ta, tw);
            stages[2] = seconds(tw, t1);
        }

        // The floor: the same file's bytes written and read back with stdio.
        QFile src(ours);
        src.open(QIODevice::ReadOnly);
        const QByteArray bytes = src.readAll();
        std::vector<char> back(size_t(bytes.size()));
        const auto p0 = Clock::now();
        FILE *out = std::fopen(plain.toLocal8Bit().constData(), "wb");
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
        std::fclose(out);
        FILE *in = std::fopen(plain.toLocal8Bit().constData(), "rb");
        const size_t got = std::fread(back.data(), 1, back.size(), in);
        std::fclose(in);
        const auto p1 = Clock::now();
        if (got != back.size())
            return 1;
        bestPlain = std::min(bestPlain, seconds(p0, p1));
    }
    std::printf("last byte -> BMP on disk and loaded: %.3f s; plain write + read of the same file: %.3f s\n", best,
                bestPlain);
    std::printf("  of which assemble %.3f s, write BMP %.3f s, load BMP (Qt's reader) %.3f s\n", stages[0], stages[1],
                stages[2]);
    std::printf("ratio to plain file I/O: %.2f (assemble + write alone: %.2f)\n", best / bestPlain,
                (stages[0] + stages[1]) / bestPlain);
    return 0;
}
