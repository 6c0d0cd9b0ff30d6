#pragma once
// "Slim zoeken": finding the cards on a lid that is not one even colour, by
// modelling the lid as it lies and separating the cards from it by edges and
// by colour, on a copy of the scan at about 150 dpi.
#include "detection/scanbox.h"

#include <QImage>
#include <QRect>
#include <optional>
#include <vector>

struct PixelSelection;
struct DetectionSettings;

// The bounding rectangles of the cards inside selection, in picture pixels,
// top to bottom. The resolution is the picture's own when it carries one
// other than Qt's default, else that of a glass 216 mm wide.
std::vector<QRect> FindCardRects(const QImage &picture, const PixelSelection &selection);

// The same cards found quickly where that can be confirmed: on a copy of about
// a cell a millimetre, each side then put to the pixel, and kept only when rows
// and columns of the scan itself show lid outside the boxes (dust and hairs
// aside) and no gap inside them. Nothing where it cannot be confirmed.
std::optional<std::vector<QRect>> CoarseCardRects(const QImage &picture, const PixelSelection &selection);

// Whether the boxes today's finding gave hold every card whole, one each: the
// rows sampled between the grid's own show only the platform colour outside
// them, and no row or column inside one shows it between two stretches of card.
bool GridFindsEveryCard(const QImage &picture, const PixelSelection &selection, const ScanBoxList &boxes,
                        const DetectionSettings &settings);
