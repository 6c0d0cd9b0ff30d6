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

QRect FollowImage(const QRect &frame, const QRect &before, const QRect &after)
{
    if (before.width() <= 0 || before.height() <= 0 || after.width() <= 0 || after.height() <= 0)
        return frame;
    // 64 bits: a frame times a size can pass 2^31 on large screens with odd values.
    auto along = [](int v, int from, int fromSize, int to, int toSize) {
        return to + int((qint64(v - from) * toSize + fromSize / 2) / fromSize);
    };
    const int left = along(frame.left(), before.left(), before.width(), after.left(), after.width());
    const int top = along(frame.top(), before.top(), before.height(), after.top(), after.height());
    const int right = along(frame.left() + frame.width(), before.left(), before.width(), after.left(), after.width());
    const int bottom = along(frame.top() + frame.height(), before.top(), before.height(), after.top(), after.height());
    return FitFrameIntoImage(QRect(left, top, right - left, bottom - top), after);
}
