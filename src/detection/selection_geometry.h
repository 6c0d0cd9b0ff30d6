#pragma once
// Between the selection frame on screen and pixels of the picture.
#include "detection/item_detection.h"

#include <QRect>

// The frame (screen pixels) as picture pixels of a width x height picture shown
// in image (screen pixels), rounded to the nearest with halves to even. An
// image of no size gives the whole picture.
PixelSelection FrameToPicture(const QRect &frame, const QRect &image, int width, int height);

// Moves and then narrows the frame until it lies within image, one axis at a time.
QRect FitFrameIntoImage(QRect frame, const QRect &image);
