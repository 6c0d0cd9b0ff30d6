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

// The frame over the same part of the picture after the image (screen pixels)
// moved or changed size from before to after, then fitted into after. A frame
// is left as it is when either image has no size.
QRect FollowImage(const QRect &frame, const QRect &before, const QRect &after);
