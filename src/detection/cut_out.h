#pragma once
// Cutting every box out of a scan into a picture of its own, with its front
// side beside it when the scan is a back side.
#include "detection/colour_match.h"
#include "detection/scanbox.h"

#include <QImage>
#include <functional>

struct CutOutSettings {
    bool whiten = false;        // "Maak achtergrond wit "
    BackgroundKey key;          // as read by the last detection run
    unsigned background = 0xFFFFFF;   // platform colour, the fill when not whitening
    int placement = 0;          // 0 "Rechts", otherwise "Onder"
    int columns = 0;
    bool straighten = false;    // "Kaarten rechtzetten": each side turned upright by its own lean
    bool sides = false;         // "Ook losse voor- en achterkant": front and back handed over apart too

    unsigned fillColour() const { return whiten ? 0xFFFFFFu : background; }
};

// The fronts a back-side pass pairs with; without it every box stands alone.
struct FrontSide {
    QImage *scan = nullptr;           // whitened in place when whitening
    const ScanBoxList *boxes = nullptr;
    int count = 0;
};

// One card as saved: the joined picture and, with the sides option and a
// partner, its front and its back alone (null otherwise).
struct CardPictures {
    QImage joined, front, back;
};

// The box picture of box, with partner (a rectangle of front) at (0, 0) and the
// box at the offset the placement gives, copied unscaled; what neither covers,
// within the picture or beyond the scans, has the fill colour. front is
// whitened in place under partner, work under box, when the settings say so.
// Both are made 24-bit. With straightening each side is turned upright and cut
// to its card with the margin its box leaves around it (StraightenedRect).
// made, when given without whitening, is box alone as BoxAlone made it already
// (the back that was read): it is placed as it is, not straightened again.
CardPictures MakeBoxPicture(QImage &work, const ScanBox &box, QImage *front, const ScanBox *partner,
                            const CutOutSettings &settings, const QImage *made = nullptr);

// box of scan alone as the cut-out makes it (turned upright when the settings
// straighten, never whitened): the back whose text is read.
QImage BoxAlone(const QImage &scan, const ScanBox &box, CutOutSettings settings);

// The whole cut-out: orders boxes (in place), makes every box picture in order
// and hands it to save; when stop answers true before a box, the rest is left.
// made, when given, answers a box's picture as BoxAlone made it already, or null.
// Returns the working copy with its whitened areas.
QImage CutOutBoxes(const QImage &cleanScan, ScanBoxList &boxes, int count, const FrontSide *front,
                   const CutOutSettings &settings, const std::function<void(const CardPictures &)> &save,
                   const std::function<bool()> &stop = {}, const std::function<QImage(const ScanBox &)> &made = {});
