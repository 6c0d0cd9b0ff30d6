#pragma once
// Turning a card that lies askew in its box upright.
#include "detection/colour_match.h"
#include "detection/scanbox.h"

#include <QImage>

constexpr double kMaxLeanDegrees = 15.0;

// How a card leans: the angle of its sides against the picture's axes, in
// degrees (positive turns clockwise on screen), and its centre in picture pixels.
struct CardLean {
    bool confident = false;   // a rectangular card was found and its lean measured
    double degrees = 0;
    double centreX = 0, centreY = 0;
    double width = 0, height = 0;   // the card's own size, upright
};

// Measures the card inside rect of a 24-bit picture against the scanner
// background (key, or white where whitening has been). Not confident when no
// card, a card that is not a rectangle, or a lean above MaxLeanDegrees.
CardLean MeasureLean(const QImage &picture, const ScanBox &rect, const BackgroundKey &key);

// Whether turning by lean changes the picture at all.
bool NeedsTurning(const CardLean &lean);

// Writes rect of source, turned upright about the card's centre with bilinear
// interpolation, into target at (x, y) (rect's size, clipped to target). Only
// source pixels within readable are read (rect when not given); what lies
// outside it or source gets fill (platform colour). cores: 0 to let the size
// of the card and how busy the machine is decide, else 1 or 2.
void DrawStraightened(const QImage &source, const ScanBox &rect, const CardLean &lean, QImage &target, int x,
                      int y, unsigned fill, int cores = 0, const ScanBox *readable = nullptr);

// The part of box a card turned upright by lean keeps: the card and around it
// the margin box leaves around the card as it lies, centred on the card and
// never larger than box. box itself when the card is not turned.
ScanBox StraightenedRect(const ScanBox &box, const CardLean &lean);
