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

void FillBand(QImage &picture, const QRect &band, const uchar bgr[3])
{
    const int x0 = std::max(band.left(), 0), y0 = std::max(band.top(), 0);
    const int x1 = std::min(band.right() + 1, picture.width()), y1 = std::min(band.bottom() + 1, picture.height());
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

} // namespace

std::array<QRect, 4> OutlineBands(const ScanBox &box, int penWidth)
{
    const int half = penWidth / 2;
    const int x0 = box.left - half, y0 = box.top - half;
    const int x1 = box.right - 1 - half + penWidth, y1 = box.bottom - 1 - half + penWidth;
    return {QRect(QPoint(x0, y0), QPoint(x1 - 1, y0 + penWidth - 1)),
            QRect(QPoint(x0, y1 - penWidth), QPoint(x1 - 1, y1 - 1)),
            QRect(QPoint(x0, y0), QPoint(x0 + penWidth - 1, y1 - 1)),
            QRect(QPoint(x1 - penWidth, y0), QPoint(x1 - 1, y1 - 1))};
}

int OutlinePenWidth(int pictureWidth) { return std::max(pictureWidth / 150, 1); }

void DrawBoxNumbers(QPainter &painter, const ScanBoxList &boxes, int count, qint64 startNumber, unsigned colour)
{
    painter.setPen(QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)));
    QFont font = painter.font();
    for (int k = 0; k < std::clamp(count, 0, int(boxes.size())); ++k) {
        const ScanBox &b = boxes[size_t(k)];
        font.setPixelSize(std::max(b.height() / 10, 1));
        painter.setFont(font);
        painter.drawText(QRect(b.left + 5, b.top + 5, std::max(b.width(), 1), std::max(b.height(), 1)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QString::number(startNumber + k));
    }
}

void DrawNumberedBoxes(QImage &picture, const ScanBoxList &boxes, int count, qint64 startNumber, unsigned colour)
{
    count = std::clamp(count, 0, int(boxes.size()));
    if (picture.isNull() || count == 0)
        return;
    if (picture.format() != QImage::Format_BGR888)
        picture.convertTo(QImage::Format_BGR888);
    const uchar bgr[3] = {uchar(colour >> 16), uchar(colour >> 8), uchar(colour)};
    const int penWidth = OutlinePenWidth(picture.width());
    // The bands filled directly: a painter would convert every span of a
    // 24-bit picture on the way.
    for (int k = 0; k < count; ++k)
        for (const QRect &band : OutlineBands(boxes[size_t(k)], penWidth))
            FillBand(picture, band, bgr);
    QPainter painter(&picture);
    DrawBoxNumbers(painter, boxes, count, startNumber, colour);
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
