#include "detection/selection_geometry.h"

#include <cmath>

namespace {
int RoundEven(qint64 numerator, int denominator)
{
    return int(std::llrint(double(numerator) / double(denominator)));
}

// Left edge and extent along one axis.
void FitAxis(int &pos, int &size, int imagePos, int imageSize)
{
    const int imageEnd = imagePos + imageSize;
    if (pos + size > imageEnd)
        pos = imageEnd - size;
    if (pos < imagePos)
        pos = imagePos;
    if (pos + size > imageEnd)
        size = imageEnd - pos;
}
} // namespace

PixelSelection FrameToPicture(const QRect &frame, const QRect &image, int width, int height)
{
    if (image.width() <= 0 || image.height() <= 0)
        return {0, 0, width, height};
    PixelSelection s;
    const qint64 W = width, H = height;
    s.left = RoundEven(W * (frame.left() - image.left()), image.width());
    s.top = RoundEven(H * (frame.top() - image.top()), image.height());
    s.right = RoundEven(W * (frame.left() + frame.width() - image.left()), image.width());
    s.bottom = RoundEven(H * (frame.top() + frame.height() - image.top()), image.height());
    return s;
}

QRect FitFrameIntoImage(QRect frame, const QRect &image)
{
    int x = frame.left(), y = frame.top(), w = frame.width(), h = frame.height();
    FitAxis(x, w, image.left(), image.width());
    FitAxis(y, h, image.top(), image.height());
    return QRect(x, y, w, h);
}
