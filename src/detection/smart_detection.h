#pragma once
// "Slim zoeken": finding the cards on a lid that is not one even colour, by
// modelling the lid as it lies and separating the cards from it by edges and
// by colour, on a copy of the scan at about 150 dpi. Where today's finding
// holds its boxes stay; where cards lie a few millimetres apart a copy of a
// cell a millimetre, confirmed on the scan itself, is enough.
#include "detection/scanbox.h"

#include <QImage>
#include <QRect>
#include <atomic>
#include <memory>
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

// The same in two steps: the copy and the cards on it, which need not wait
// for today's finding and can run beside it, then the confirmation. Once
// stop is set the copy is all that is made.
class CoarseFinding {
public:
    CoarseFinding(const QImage &picture, const PixelSelection &selection, const std::atomic<bool> *stop = nullptr);
    ~CoarseFinding();
    std::optional<std::vector<QRect>> confirmed() const;

private:
    struct Data;
    const QImage &m_picture;
    std::unique_ptr<Data> d;
};

// Whether the boxes today's finding gave hold every card whole, one each: the
// rows sampled between the grid's own show only the platform colour outside
// them, and no row or column inside one shows it between two stretches of card.
bool GridFindsEveryCard(const QImage &picture, const PixelSelection &selection, const ScanBoxList &boxes,
                        const DetectionSettings &settings);
