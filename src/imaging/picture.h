#pragma once
// Pixel operations on pictures (QImage). A 24-bit picture is Format_BGR888.
#include <QImage>

// Rotations of a 24-bit picture, in place: the same object gets the new size.
// cores: 0 lets a large picture take a second core when the machine is not
// busy, 1 or 2 say how many.
void RotateQuarterLeft(QImage &picture, int cores = 0);
void RotateQuarterRight(QImage &picture, int cores = 0);
void RotateHalf(QImage &picture);

// Enlarges front (a copy of the front side) and draws back into it: to the right
// for placement < 1 ("Rechts"), below otherwise ("Onder").
void JoinBackSide(QImage &front, const QImage &back, int placement);
// The joined picture of front and back laid out afresh for placement: exactly
// what JoinBackSide gives, whatever placement the old joined picture had.
QImage RelayoutBackSide(const QImage &front, const QImage &back, int placement);

struct FitRectangle { int x = 0, y = 0, w = 0, h = 0; };
FitRectangle FitRect(int sourceWidth, int sourceHeight, int availableWidth, int availableHeight);
