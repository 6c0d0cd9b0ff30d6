#pragma once
// The lid as it lies: a copy of the scan at a lower resolution, the lid's own
// colour learnt from what is surely lid, and how far every pixel lies from it.
#include <QImage>
#include <QRect>
#include <opencv2/core.hpp>

cv::Mat Square(int side);

// The picture's resolution when it carries one other than Qt's default, else
// that of a glass 216 mm wide.
double Dpi(const QImage &picture);

// The selected part of the picture at 1/f of its size, three channels in the
// picture's own byte order.
cv::Mat WorkingCopy(const QImage &picture, const QRect &part, int f);

// Lid: what reaches the edge of the part through open pixels (255), by
// neighbours at its four sides or, with diagonals, at all eight.
cv::Mat ReachableLid(const cv::Mat &open, int connectivity);

// The lid's colour everywhere, from the pixels of sure (255), in blocks of
// block x block pixels: where lid lies close by, its own colour there (so a
// shadow is followed), under the cards a fitted surface.
cv::Mat LidModel(const cv::Mat &work, const cv::Mat &sure, int block);

// Largest difference over the three channels between the copy and the lid.
cv::Mat DistanceFromLid(const cv::Mat &work, const cv::Mat &model);
