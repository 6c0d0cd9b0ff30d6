#include "imaging/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
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
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, WholeDpi(pixelsPerMetreX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, WholeDpi(pixelsPerMetreY));
    const size_t rowBytes = size_t(width) * 3;
    std::vector<uchar> strip(rowBytes * rowsPerStrip);
    bool ok = true;
    for (int y = 0; ok && y < height; y += int(rowsPerStrip)) {
        const int rows = std::min(int(rowsPerStrip), height - y);
        for (int i = 0; i < rows; ++i)
            SwapToRgb(picture.constScanLine(y + i), strip.data() + rowBytes * size_t(i), width);
        ok = TIFFWriteEncodedStrip(tif, uint32_t(y) / rowsPerStrip, strip.data(), tmsize_t(rowBytes * size_t(rows))) >= 0;
    }
    ok = TIFFWriteDirectory(tif) && ok;
    TIFFClose(tif);
    return ok;
}
