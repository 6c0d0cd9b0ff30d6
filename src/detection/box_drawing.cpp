#include "detection/box_drawing.h"

#include "codec/picture_buffer.h"

#include <QFont>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <limits>

qint64 TrailingNumber(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot >= 0 ? fileName.left(dot) : fileName;
    int start = stem.size();
    while (start > 0 && stem.at(start - 1) >= QLatin1Char('0') && stem.at(start - 1) <= QLatin1Char('9'))
        --start;
    qint64 value = 0;
    const qint64 limit = std::numeric_limits<qint64>::max() / 10 - 9;
    for (int i = start; i < stem.size(); ++i) {
        if (value > limit)
            break;   // an absurdly long run keeps its leading digits
        value = value * 10 + (stem.at(i).unicode() - '0');
    }
    return value;
}

namespace {

void FillBand(QImage &picture, int x0, int y0, int x1, int y1, const uchar bgr[3])
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, picture.width());
    y1 = std::min(y1, picture.height());
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int y = y0; y < y1; ++y) {
        uchar *p = picture.scanLine(y) + size_t(x0) * 3;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = bgr[0];
            p[1] = bgr[1];
            p[2] = bgr[2];
        }
    }
}

// The outline of box as four bands of the pen width, centred on the edges
// left, top, right - 1 and bottom - 1. Filled directly: a painter would convert
// every span of a 24-bit picture on the way.
void DrawOutline(QImage &picture, const ScanBox &box, int penWidth, const uchar bgr[3])
{
    const int half = penWidth / 2;
    const int x0 = box.left - half, y0 = box.top - half;
    const int x1 = box.right - 1 - half + penWidth, y1 = box.bottom - 1 - half + penWidth;
    FillBand(picture, x0, y0, x1, y0 + penWidth, bgr);
    FillBand(picture, x0, y1 - penWidth, x1, y1, bgr);
    FillBand(picture, x0, y0, x0 + penWidth, y1, bgr);
    FillBand(picture, x1 - penWidth, y0, x1, y1, bgr);
}

} // namespace

void DrawNumberedBoxes(QImage &picture, const ScanBoxList &boxes, int count, qint64 startNumber, unsigned colour)
{
    count = std::clamp(count, 0, int(boxes.size()));
    if (picture.isNull() || count == 0)
        return;
    if (picture.format() != QImage::Format_BGR888)
        picture.convertTo(QImage::Format_BGR888);
    const int red = int(colour & 0xFF), green = int((colour >> 8) & 0xFF), blue = int((colour >> 16) & 0xFF);
    const uchar bgr[3] = {uchar(blue), uchar(green), uchar(red)};
    const int penWidth = std::max(picture.width() / 150, 1);
    for (int k = 0; k < count; ++k)
        DrawOutline(picture, boxes[size_t(k)], penWidth, bgr);

    QPainter painter(&picture);
    painter.setPen(QColor(red, green, blue));
    QFont font = painter.font();
    for (int k = 0; k < count; ++k) {
        const ScanBox &b = boxes[size_t(k)];
        font.setPixelSize(std::max(b.height() / 10, 1));
        painter.setFont(font);
        painter.drawText(QRect(b.left + 5, b.top + 5, std::max(b.width(), 1), std::max(b.height(), 1)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QString::number(startNumber + k));
    }
}

QImage PreviewWithBoxes(const QImage &cleanScan, const ScanBoxList &boxes, int count, qint64 startNumber,
                        unsigned colour)
{
    // A fresh buffer that may sit on huge pages: the copy of a 600-dpi page
    // otherwise costs more in page faults than in copying.
    QImage preview = CopyPicture24(cleanScan);
    if (preview.isNull())
        preview = cleanScan.convertToFormat(QImage::Format_BGR888);
    DrawNumberedBoxes(preview, boxes, count, startNumber, colour);
    return preview;
}
