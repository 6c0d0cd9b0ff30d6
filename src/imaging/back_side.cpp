// Joining a back side to its front side, and moving it between right and below.
#include "imaging/picture.h"
#include "codec/picture_buffer.h"
#include "imaging/picture_file.h"

#include <algorithm>
#include <cstring>

namespace {

// New size, existing pixels kept from the top-left corner, new pixels white.
void Resize(QImage &picture, int width, int height)
{
    width = std::max(0, width);
    height = std::max(0, height);
    if (width == picture.width() && height == picture.height())
        return;
    if (width == 0 || height == 0) {
        picture = QImage();
        return;
    }
    QImage resized = NewPicture24(width, height);
    if (resized.isNull())
        return;
    const int keepW = std::min(width, picture.isNull() ? 0 : picture.width());
    const int keepH = std::min(height, picture.isNull() ? 0 : picture.height());
    const size_t keepBytes = size_t(keepW) * 3;
    const size_t rowBytes = size_t(width) * 3;
    for (int y = 0; y < height; ++y) {
        uchar *row = resized.scanLine(y);
        if (y < keepH) {
            std::memcpy(row, picture.constScanLine(y), keepBytes);
            std::memset(row + keepBytes, 0xFF, rowBytes - keepBytes);
        } else {
            std::memset(row, 0xFF, rowBytes);
        }
    }
    if (!picture.isNull()) {
        resized.setDotsPerMeterX(picture.dotsPerMeterX());
        resized.setDotsPerMeterY(picture.dotsPerMeterY());
    }
    picture = resized;
}

// Copies source into picture with its top-left corner at (x, y), clipped.
void DrawAt(QImage &picture, const QImage &source, int x, int y)
{
    if (picture.isNull() || source.isNull())
        return;
    QImage back = source;
    MakeBitmap24(back);
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(picture.width(), x + back.width());
    const int y1 = std::min(picture.height(), y + back.height());
    if (x1 <= x0 || y1 <= y0)
        return;
    const size_t bytes = size_t(x1 - x0) * 3;
    for (int row = y0; row < y1; ++row)
        std::memcpy(picture.scanLine(row) + size_t(x0) * 3,
                    back.constScanLine(row - y) + size_t(x0 - x) * 3, bytes);
}

void Prepare(QImage &picture)
{
    if (!picture.isNull() && picture.format() != QImage::Format_BGR888)
        MakeBitmap24(picture);
}
}

void JoinBackSide(QImage &front, const QImage &back, int placement)
{
    Prepare(front);
    const int fw = front.width(), fh = front.height();
    const int bw = back.width(), bh = back.height();
    if (placement >= 1) {
        Resize(front, std::max(fw, bw), fh + bh);
        DrawAt(front, back, 0, fh);
    } else {
        Resize(front, fw + bw, std::max(fh, bh));
        DrawAt(front, back, fw, 0);
    }
}

QImage RelayoutBackSide(const QImage &front, const QImage &back, int placement)
{
    QImage joined = front;
    JoinBackSide(joined, back, placement);
    return joined;
}
