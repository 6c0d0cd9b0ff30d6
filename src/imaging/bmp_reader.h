#pragma once
// Reading the BMP files that the scanner library writes, without a detour.
#include <QImage>
#include <QString>

// Reads an uncompressed, bottom-up 24-bit BMP with a plain 40-byte header
// straight into a Format_BGR888 picture. False, with picture untouched, for
// any other file or a picture above maxBytes32 bytes as 32-bit pixels (0: no limit).
bool ReadPlainBmp(const QString &path, QImage &picture, qint64 maxBytes32 = 0);

// Loads a scan: the files above directly, the scanner library's other BMP files
// as QImage::load does, any other file through the guarded decoder;
// pictures above the program's picture limit (PictureByteLimit) are refused.
bool LoadScanPicture(QImage &picture, const QString &path);

// True when path holds a whole picture that is readable in itself but above the
// program's picture limit: too big for this machine, not damaged.
bool PictureTooLargeForMemory(const QString &path);

// The resolution in dots per inch that a BMP file's header gives (the scanner
// library labels its transfer file so); 0 when it gives none.
int BmpResolution(const QString &path);
