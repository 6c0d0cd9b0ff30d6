#pragma once
// The numbered boxes drawn on the preview for the user to judge.
#include "detection/scanbox.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <array>
#include <QString>

// The number at the end of a file name, its extension dropped: kaart017.jpg
// gives 17, kaart gives 0.
qint64 TrailingNumber(const QString &fileName);

// Draws the first count boxes with a pen of max(width / 150, 1) pixels in
// colour (platform value) and writes startNumber + k in box k. The picture
// is made 24-bit first.
void DrawNumberedBoxes(QImage &picture, const ScanBoxList &boxes, int count, qint64 startNumber,
                       unsigned colour);

// The outline of box as four bands of penWidth, centred on the edges left,
// top, right - 1 and bottom - 1; the pen on a picture pictureWidth wide.
std::array<QRect, 4> OutlineBands(const ScanBox &box, int penWidth);
int OutlinePenWidth(int pictureWidth);
// Writes startNumber + k in box k with painter's font, in colour: the
// numbers of DrawNumberedBoxes, on any painter (a preview draws them scaled).
void DrawBoxNumbers(QPainter &painter, const ScanBoxList &boxes, int count, qint64 startNumber, unsigned colour);

// A copy of cleanScan, made 24-bit, with the numbered boxes drawn on it; the
// clean scan itself stays without drawing.
QImage PreviewWithBoxes(const QImage &cleanScan, const ScanBoxList &boxes, int count, qint64 startNumber,
                        unsigned colour);
