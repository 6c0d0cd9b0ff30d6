#include "imaging/jpeg_writer.h"

#include "imaging/jpeg_errors.h"

#include <algorithm>
#include <csetjmp>
#include <jpeglib.h>
#include <vector>

namespace {

JDIMENSION Density(unsigned pixelsPerMetre)
{
    return JDIMENSION(0.5 + 0.0254 * pixelsPerMetre);
}

// Rows handed to the encoder per call.
constexpr int kRowsPerCall = 16;

} // namespace

bool WriteJpeg(FILE *file, const QImage &picture, int quality, unsigned pixelsPerMetreX, unsigned pixelsPerMetreY,
               const std::vector<JpegMarker> &markers)
{
    if (picture.format() != QImage::Format_BGR888 || picture.isNull())
        return false;
    jpeg_compress_struct info;
    JpegErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegErrorExit;
    errors.base.emit_message = JpegQuiet;
    std::vector<unsigned char> swapped;   // only without the BGR input of libjpeg-turbo
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 3;
#ifdef JCS_EXTENSIONS
    info.in_color_space = JCS_EXT_BGR;
#else
    info.in_color_space = JCS_RGB;
    swapped.resize(size_t(picture.width()) * 3 * kRowsPerCall);
#endif
    jpeg_set_defaults(&info);
    info.density_unit = 1;   // dots per inch
    info.X_density = UINT16(Density(pixelsPerMetreX));
    info.Y_density = UINT16(Density(pixelsPerMetreY));
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (const JpegMarker &m : markers)
        jpeg_write_marker(&info, m.first, reinterpret_cast<const JOCTET *>(m.second.constData()),
                          unsigned(m.second.size()));
    JSAMPROW rows[kRowsPerCall];
    while (info.next_scanline < info.image_height) {
        const int first = int(info.next_scanline);
        const int count = std::min(kRowsPerCall, picture.height() - first);
        for (int i = 0; i < count; ++i) {
            rows[i] = const_cast<JSAMPROW>(picture.constScanLine(first + i));
#ifndef JCS_EXTENSIONS
            JSAMPROW rgb = swapped.data() + size_t(i) * picture.width() * 3;
            for (int x = 0; x < picture.width(); ++x) {
                rgb[3 * x] = rows[i][3 * x + 2];
                rgb[3 * x + 1] = rows[i][3 * x + 1];
                rgb[3 * x + 2] = rows[i][3 * x];
            }
            rows[i] = rgb;
#endif
        }
        jpeg_write_scanlines(&info, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
