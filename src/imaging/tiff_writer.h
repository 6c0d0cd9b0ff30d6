#pragma once
// Writing TIFF files with libtiff straight from the rows of a 24-bit picture:
// RGB, LZW with the horizontal predictor, resolution in dots per inch, as the
// image library writes them by default.
#include <QImage>
#include <cstdio>

// Encodes picture (Format_BGR888) into file; false when the encoder fails.
bool WriteTiff(FILE *file, const QImage &picture, unsigned pixelsPerMetreX, unsigned pixelsPerMetreY);
