#pragma once
// Reading the BMP files that the scanner library writes, without a detour.
#include <QImage>
#include <QString>

// Reads an uncompressed, bottom-up 24-bit BMP with a plain 40-byte header
// straight into a Format_BGR888 picture. False, with picture untouched, for
// any other file or when Qt's reader would refuse the picture's size.
bool ReadPlainBmp(const QString &path, QImage &picture);

// Loads path as QImage::load does, taking the direct way for the files above.
bool LoadScanPicture(QImage &picture, const QString &path);
