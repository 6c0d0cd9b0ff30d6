#pragma once
// Writing JPEG files with libjpeg straight from the rows of a 24-bit picture:
// the same file the image library writes for that picture and quality.
#include <QByteArray>
#include <QImage>
#include <cstdio>
#include <utility>
#include <vector>

// A marker segment written right after the JFIF header: its code (0xE1 for
// APP1) and its payload, at most 65533 bytes.
using JpegMarker = std::pair<int, QByteArray>;

// Encodes picture (Format_BGR888) into file: JFIF with the resolution in dots
// per inch, 4:2:0, quality 1..100, with markers. False when the encoder fails.
bool WriteJpeg(FILE *file, const QImage &picture, int quality, unsigned pixelsPerMetreX,
               unsigned pixelsPerMetreY, const std::vector<JpegMarker> &markers = {});
