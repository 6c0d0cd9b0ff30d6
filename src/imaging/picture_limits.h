#pragma once
// Checks on what a picture file claims before its pixels are allocated.
#include <FreeImage.h>
#include <QString>

// False when the file's header claims more pixels than PictureByteLimit()
// allows, cannot be read, or (for an uncompressed BMP) promises more pixel
// bytes than the file holds. pixels, when given, gets the number of pixels
// claimed (0 when the header does not tell).
bool PictureFileFits(const QString &path, FREE_IMAGE_FORMAT fif, qint64 *pixels = nullptr);
