#include "imaging/jpeg_reader.h"

#include "common/filez.h"
#include "imaging/jpeg_errors.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <utility>

namespace {

struct Decoded {
    unsigned char *pixels = nullptr;
    int width = 0, height = 0;
    long long bytesPerLine = 0;
    int dotsPerMeterX = 0, dotsPerMeterY = 0;
};

int DotsPerMeter(int density, int unit)
{
    if (density <= 0)
        return 0;
    if (unit == 1)
        return static_cast<int>(density * 39.37 + 0.5);
    if (unit == 2)
        return density * 100;
    return 0;
}

// Plain C state only between setjmp and longjmp: nothing here needs destroying.
bool Decode(FILE *file, long long maxBytes, Decoded *out)
{
    jpeg_decompress_struct info;
    JpegErrorManager errors;
    unsigned char *volatile pixels = nullptr;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegErrorExit;
    errors.base.emit_message = JpegQuiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        std::free(pixels);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
#ifdef JCS_EXTENSIONS
    info.out_color_space = JCS_EXT_BGR;
#else
    info.out_color_space = JCS_RGB;
#endif
    jpeg_start_decompress(&info);
    const long long width = info.output_width, height = info.output_height;
    const long long bytesPerLine = (width * 3 + 3) & ~3LL;
    if (width <= 0 || height <= 0 || bytesPerLine > 0x7fffffffLL || bytesPerLine * height > maxBytes) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    pixels = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(bytesPerLine * height)));
    if (!pixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + bytesPerLine * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
#ifndef JCS_EXTENSIONS
        for (long long x = 0; x < width; ++x)
            std::swap(row[x * 3], row[x * 3 + 2]);
#endif
    }
    const int dpmX = DotsPerMeter(info.X_density, info.density_unit);
    const int dpmY = DotsPerMeter(info.Y_density, info.density_unit);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out->pixels = pixels;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->bytesPerLine = bytesPerLine;
    out->dotsPerMeterX = dpmX;
    out->dotsPerMeterY = dpmY;
    return true;
}
}

QImage ReadJpegFile(const QString &path, qint64 maxBytes)
{
    FILE *file = std::fopen(NativePath(path).constData(), "rb");
    if (!file)
        return QImage();
    Decoded d;
    const bool ok = Decode(file, maxBytes, &d);
    std::fclose(file);
    if (!ok)
        return QImage();
    QImage picture(d.pixels, d.width, d.height, static_cast<qsizetype>(d.bytesPerLine),
                   QImage::Format_BGR888, [](void *p) { std::free(p); }, d.pixels);
    picture.setDotsPerMeterX(d.dotsPerMeterX);
    picture.setDotsPerMeterY(d.dotsPerMeterY);
    return picture;
}
