#pragma once
// Small pictures with a distinct value in every pixel, for checking where pixels go.
#include <QImage>
#include <cstdint>

inline QImage NumberedPicture(int width, int height, uint32_t seed = 1)
{
    QImage picture(width, height, QImage::Format_BGR888);
    uint32_t v = seed;
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            v = v * 1664525u + 1013904223u;
            row[x] = uchar(v >> 24);
        }
    }
    return picture;
}

// The three bytes of pixel (x, y) as one number.
inline uint32_t PixelAt(const QImage &picture, int x, int y)
{
    const uchar *p = picture.constScanLine(y) + x * 3;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

inline bool SamePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 3) != 0)
            return false;
    return true;
}

inline bool AllWhite(const QImage &picture, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (PixelAt(picture, x, y) != 0xFFFFFFu)
                return false;
    return true;
}
