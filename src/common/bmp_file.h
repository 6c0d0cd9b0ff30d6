#pragma once
// The BMP file of a picture, written straight from its rows: 24-bit colour
// (Format_BGR888), 8-bit grey with a grey palette (Format_Grayscale8) or 1-bit
// with the picture's two colours (Format_Mono). Header and padding are byte for
// byte what the image library writes for the same picture.
#include <QImage>

#include <cstdint>

// Largest BMP file: its header counts the bytes in 32 bits.
constexpr uint64_t kMaxBmpFileBytes = 0xFFFFFFFFull;

// Bytes a BMP file of this size and bits per pixel takes, in 64 bits.
uint64_t BmpFileBytes(uint64_t width, uint64_t height, int bitsPerPixel);

// Bits per pixel of the file for picture's format; 0 for any other format.
int BmpBits(const QImage &picture);

// Writes the whole file to fd with resolution in pixels per metre. False, with
// errno set, when a write fails or the picture has no BMP form (wrong format,
// too large).
bool WriteBmpTo(int fd, const QImage &picture, uint32_t pixelsPerMetreX, uint32_t pixelsPerMetreY);
