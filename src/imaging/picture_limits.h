#pragma once
// Checks on what a picture file claims before its pixels are allocated.
#include <FreeImage.h>
#include <QString>

// False when the file's header claims more pixels than PictureByteLimit()
// allows, cannot be read, or (for an uncompressed BMP) promises more pixel
// bytes than the file holds. pixels, when given, gets the number of pixels
// claimed (0 when the header does not tell).
bool PictureFileFits(const QString &path, FREE_IMAGE_FORMAT fif, qint64 *pixels = nullptr);

// The largest 24-bit picture, in bytes, the window takes from a file: it
// shows, turns and saves it within a third of the memory while holding about
// three copies of it. Never above PictureByteLimit(). 0 restores the default.
qint64 WindowPictureByteLimit();
void SetWindowPictureByteLimit(qint64 bytes);
// Pictures of more pixels than this (100 million) are opened only when the
// user agrees. 0 restores the default.
qint64 VeryLargePicturePixels();
void SetVeryLargePicturePixels(qint64 pixels);

// Sets PictureByteLimit() for its lifetime and then puts the earlier one back.
class ScopedPictureByteLimit {
public:
    explicit ScopedPictureByteLimit(qint64 bytes);
    ~ScopedPictureByteLimit();
    ScopedPictureByteLimit(const ScopedPictureByteLimit &) = delete;
    ScopedPictureByteLimit &operator=(const ScopedPictureByteLimit &) = delete;

private:
    qint64 m_earlier;
};
