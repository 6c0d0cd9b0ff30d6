#pragma once
// Writing JPEG files with libjpeg straight from the rows of a 24-bit picture:
// the same file the image library writes for that picture and quality.
#include <QImage>
#include <cstdio>

// Encodes picture (Format_BGR888) into file: JFIF with the resolution in dots
// per inch, 4:2:0, quality 1..100. False when the encoder fails.
bool WriteJpeg(FILE *file, const QImage &picture, int quality, unsigned pixelsPerMetreX,
               unsigned pixelsPerMetreY);
