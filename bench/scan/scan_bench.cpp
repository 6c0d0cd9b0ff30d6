// A 200 × 200 mm colour scan at 600 dpi from SANE's test backend.
// Prints: time from the last device byte to the BMP on disk and loaded back
// the way the scan window loads it, as a ratio to writing and reading the same
// bytes with plain file I/O (medians of interleaved runs); and the peak memory
// of a whole scan as a multiple of the picture's bytes.
// Usage: bench_scan [dpi] [repeats]
#include "imaging/bmp_reader.h"
#include "scanner/bridge/bmp_writer.h"
#include "scanner/bridge/frame_assembler.h"
#include "scanner/bridge/scan_runner.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// One scan's reads recorded from the device, untimed: the device's own speed
// is not ours.
struct Recording {
    SANE_Parameters params{};
    std::vector<std::vector<SANE_Byte>> chunks;
};

Recording record(SaneDevice &dev)
{
    Recording r;
    if (dev.start() != SANE_STATUS_GOOD)
        return r;
    dev.getParameters(&r.params);
    std::vector<SANE_Byte> chunk(1 << 18);
    for (;;) {
        SANE_Int len = 0;
        if (dev.read(chunk.data(), SANE_Int(chunk.size()), &len) != SANE_STATUS_GOOD)
            break;
        r.chunks.emplace_back(chunk.data(), chunk.data() + len);
    }
    dev.cancel();
    return r;
}

// Plays a recording back through the library's own scan loop and notes when
// the last byte was handed over.
class ReplayDevice : public SaneDevice {
public:
    ReplayDevice(SaneDevice &real, const Recording &r) : m_real(real), m_rec(r) {}
    const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int o) override { return m_real.getOptionDescriptor(o); }
    SANE_Status controlOption(SANE_Int o, SANE_Action a, void *v, SANE_Int *i) override
    {
        return m_real.controlOption(o, a, v, i);
    }
    SANE_Status getParameters(SANE_Parameters *p) override
    {
        *p = m_rec.params;
        return SANE_STATUS_GOOD;
    }
    SANE_Status start() override
    {
        m_next = 0;
        m_offset = 0;
        return SANE_STATUS_GOOD;
    }
    SANE_Status read(SANE_Byte *data, SANE_Int max, SANE_Int *len) override
    {
        *len = 0;
        if (m_next >= m_rec.chunks.size())
            return SANE_STATUS_EOF;
        const auto &c = m_rec.chunks[m_next];
        const size_t n = std::min(size_t(max), c.size() - m_offset);
        std::memcpy(data, c.data() + m_offset, n);
        m_offset += n;
        if (m_offset == c.size()) {
            ++m_next;
            m_offset = 0;
        }
        *len = SANE_Int(n);
        if (m_next == m_rec.chunks.size())
            lastByte = Clock::now();
        return SANE_STATUS_GOOD;
    }
    void cancel() override {}
    Clock::time_point lastByte;

private:
    SaneDevice &m_real;
    const Recording &m_rec;
    size_t m_next = 0, m_offset = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const int dpi = argc > 1 ? std::atoi(argv[1]) : 600;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
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
        QImage loaded;
        if (!LoadScanPicture(loaded, ours))
            return 1;
    }
    const double peakRatio = double(peakKb() - before) * 1024.0 / double(pictureBytes);
    std::printf("peak memory of scan + write + load: %.2f x the picture bytes (limit 3)\n", peakRatio);

    const Recording rec = record(*dev);
    if (rec.chunks.empty())
        return 1;
    std::vector<double> total, plainTimes, assemble, write, load;
    for (int r = 0; r < repeats; ++r) {
        // Ours: the library's scan loop on the recorded bytes, its BMP writer,
        // and the scan window's loader, timed from the last byte handed over.
        ReplayDevice replay(*dev, rec);
        ScanControl control;
        ScanOutcome o = RunScan(replay, control);
        const auto ta = Clock::now();
        if (o.kind != ScanOutcome::Done)
            return 1;
        const QString err = WriteBmp(o.image, o.dpi, ours);
        o.image = QImage();
        const auto tw = Clock::now();
        QImage loaded;
        const bool ok = LoadScanPicture(loaded, ours);
        const auto t1 = Clock::now();
        if (!err.isEmpty() || !ok || loaded.isNull())
            return 1;
        loaded = QImage();
        total.push_back(seconds(replay.lastByte, t1));
        assemble.push_back(seconds(replay.lastByte, ta));
        write.push_back(seconds(ta, tw));
        load.push_back(seconds(tw, t1));

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
        plainTimes.push_back(seconds(p0, p1));
    }
    const double best = median(total), bestPlain = median(plainTimes);
    std::printf("last byte -> BMP on disk and loaded: %.3f s; plain write + read of the same file: %.3f s (medians of %d)\n",
                best, bestPlain, repeats);
    std::printf("  of which finish assembly %.3f s, write BMP %.3f s, load BMP %.3f s\n", median(assemble),
                median(write), median(load));
    std::printf("ratio to plain file I/O: %.2f (limit 1.5)\n", best / bestPlain);
    return 0;
}
