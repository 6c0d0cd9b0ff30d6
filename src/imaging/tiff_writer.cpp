#include "imaging/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstring>
#include <vector>

namespace {

// libtiff I/O over a stdio stream we own.
tmsize_t ReadProc(thandle_t h, void *buffer, tmsize_t size)
{
    return tmsize_t(std::fread(buffer, 1, size_t(size), static_cast<FILE *>(h)));
}
tmsize_t WriteProc(thandle_t h, void *buffer, tmsize_t size)
{
    return tmsize_t(std::fwrite(buffer, 1, size_t(size), static_cast<FILE *>(h)));
}
toff_t SeekProc(thandle_t h, toff_t offset, int whence)
{
    FILE *f = static_cast<FILE *>(h);
    return std::fseek(f, long(offset), whence) == 0 ? toff_t(std::ftell(f)) : toff_t(-1);
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h)
{
    FILE *f = static_cast<FILE *>(h);
    const long at = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, at, SEEK_SET);
    return toff_t(size);
}
int MapProc(thandle_t, void **, toff_t *) { return 0; }
void UnmapProc(thandle_t, void *, toff_t) {}

// Strips of about a megabyte: the encoder starts afresh for every strip, and
// small strips spend their time doing that.
uint32_t RowsPerStrip(int width)
{
    return uint32_t(std::max(1, (1 << 20) / std::max(1, width * 3)));
}

// Whole dots per inch, rounded as the image library stores them.
double WholeDpi(unsigned pixelsPerMetre)
{
    return double(static_cast<unsigned long>(0.5 + 0.0254 * pixelsPerMetre));
}

void SwapToRgb(const uchar *bgr, uchar *rgb, int width)
{
    for (int x = 0; x < width; ++x) {
        rgb[3 * x] = bgr[3 * x + 2];
        rgb[3 * x + 1] = bgr[3 * x + 1];
        rgb[3 * x + 2] = bgr[3 * x];
    }
}

// A file in memory for encoding one strip on its own.
struct MemoryFile {
    std::vector<uchar> bytes;
    size_t at = 0;
};
tmsize_t MemoryRead(thandle_t, void *, tmsize_t) { return 0; }
tmsize_t MemoryWrite(thandle_t h, void *buffer, tmsize_t size)
{
    auto *m = static_cast<MemoryFile *>(h);
    if (m->bytes.size() < m->at + size_t(size))
        m->bytes.resize(m->at + size_t(size));
    std::memcpy(m->bytes.data() + m->at, buffer, size_t(size));
    m->at += size_t(size);
    return size;
}
toff_t MemorySeek(thandle_t h, toff_t offset, int whence)
{
    auto *m = static_cast<MemoryFile *>(h);
    const toff_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes.size() : 0;
    m->at = size_t(base + offset);
    return m->at;
}
toff_t MemorySize(thandle_t h) { return static_cast<MemoryFile *>(h)->bytes.size(); }

void SetFields(TIFF *tif, int width, int height, uint32_t rowsPerStrip)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

// The LZW bytes of rows [y, y + rows) of picture as one strip; empty on failure.
std::vector<uchar> EncodeStrip(const QImage &picture, int y, int rows)
{
    const int width = picture.width();
    const size_t rowBytes = size_t(width) * 3;
    std::vector<uchar> strip(rowBytes * size_t(rows));
    for (int i = 0; i < rows; ++i)
        SwapToRgb(picture.constScanLine(y + i), strip.data() + rowBytes * size_t(i), width);
    MemoryFile memory;
    memory.bytes.reserve(strip.size() / 2 + 4096);
    TIFF *tif = TIFFClientOpen("strip", "w", &memory, MemoryRead, MemoryWrite, MemorySeek, CloseProc, MemorySize,
                               MapProc, UnmapProc);
    if (!tif)
        return {};
    SetFields(tif, width, rows, uint32_t(rows));
    std::vector<uchar> encoded;
    if (TIFFWriteEncodedStrip(tif, 0, strip.data(), tmsize_t(strip.size())) >= 0) {
        uint64_t *offsets = nullptr, *counts = nullptr;
        if (TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts)
            && offsets && counts && offsets[0] + counts[0] <= memory.bytes.size())
            encoded.assign(memory.bytes.begin() + long(offsets[0]), memory.bytes.begin() + long(offsets[0] + counts[0]));
    }
    TIFFCleanup(tif);
    return encoded;
}

} // namespace

bool WriteTiff(FILE *file, const QImage &picture, unsigned pixelsPerMetreX, unsigned pixelsPerMetreY)
{
    if (picture.format() != QImage::Format_BGR888 || picture.isNull())
        return false;
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFClientOpen("picture", "w", file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                               UnmapProc);
    if (!tif)
        return false;
    const int width = picture.width(), height = picture.height();
    const uint32_t rowsPerStrip = RowsPerStrip(width);
    SetFields(tif, width, height, rowsPerStrip);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, WholeDpi(pixelsPerMetreX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, WholeDpi(pixelsPerMetreY));
    // Strips are encoded each on its own, so every core takes some; they are
    // written in order, and only a few ahead of the writing are held.
    const int strips = int((uint32_t(height) + rowsPerStrip - 1) / rowsPerStrip);
    const int threads = std::min(strips, int(std::max(1u, std::thread::hardware_concurrency())));
    const int window = 2 * threads;
    std::vector<std::vector<uchar>> encoded(static_cast<size_t>(strips));
    std::vector<char> done(size_t(strips), 0);
    std::mutex lock;
    std::condition_variable changed;
    int next = 0, written = 0;
    bool failed = false;
    const auto encode = [&] {
        for (;;) {
            int k;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return failed || next >= strips || next < written + window; });
                if (failed || next >= strips)
                    return;
                k = next++;
            }
            const int y = k * int(rowsPerStrip);
            std::vector<uchar> bytes = EncodeStrip(picture, y, std::min(int(rowsPerStrip), height - y));
            {
                const std::lock_guard<std::mutex> guard(lock);
                failed = failed || bytes.empty();
                encoded[size_t(k)].swap(bytes);
                done[size_t(k)] = 1;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back(encode);
    bool ok = true;
    for (int k = 0; ok && k < strips; ++k) {
        std::vector<uchar> bytes;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return failed || done[size_t(k)]; });
            ok = !failed;
            bytes.swap(encoded[size_t(k)]);
            written = k + 1;
        }
        changed.notify_all();
        ok = ok && TIFFWriteRawStrip(tif, uint32_t(k), bytes.data(), tmsize_t(bytes.size())) >= 0;
    }
    if (!ok) {
        const std::lock_guard<std::mutex> guard(lock);
        failed = true;
    }
    changed.notify_all();
    for (std::thread &t : workers)
        t.join();
    ok = TIFFWriteDirectory(tif) && ok;
    TIFFClose(tif);
    return ok;
}
