#include "detection/box_drawing.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <algorithm>
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

void DrawNumberedBoxes(QImage &picture, const ScanBoxList &boxes, int count, qint64 startNumber, unsigned colour)
{
    count = std::clamp(count, 0, int(boxes.size()));
    if (picture.isNull() || count == 0)
        return;
    const QColor penColour(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    QPainter painter(&picture);
    QPen pen(penColour);
    pen.setWidth(std::max(picture.width() / 150, 1));
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QFont font = painter.font();
    for (int k = 0; k < count; ++k) {
        const ScanBox &b = boxes[size_t(k)];
        painter.drawRect(b.left, b.top, b.width() - 1, b.height() - 1);
        font.setPixelSize(std::max(b.height() / 10, 1));
        painter.setFont(font);
        const QString number = QString::number(startNumber + k);
        painter.drawText(QRect(b.left + 5, b.top + 5, std::max(b.width(), 1), std::max(b.height(), 1)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, number);
    }
}
