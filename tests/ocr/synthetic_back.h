#pragma once
// A memorial card's back as a scanner gives it: centred serif lines on paper,
// optionally a printed frame, lying on glass with a margin around it, upright or askew.
#include "common/synthetic_scan.h"

#include <QColor>
#include <QImage>
#include <QStringList>

struct SyntheticBack {
    QStringList lines;
    int dpi = 300;
    QColor paper = QColor(236, 230, 214), glass = Qt::white;
    bool frame = false;   // a black line 2 mm inside the card's edge
    double lean = 0;      // degrees, clockwise
    int around = 0;       // pixels of glass added on every side
    QString font = QStringLiteral("DejaVu Serif");
    bool italic = false;
    int emphasis = -1;    // the line set bold and larger
    int specks = 0;       // paper noise: each byte moves by up to this much
    uint32_t seed = 0;
};

inline QImage RenderBack(const SyntheticBack &b)
{
    const int margin = MmToPixels(4, b.dpi) + b.around;
    SyntheticCard card;
    card.rect = QRect(margin, margin, MmToPixels(56, b.dpi), MmToPixels(95, b.dpi));
    card.look = CardLook::Prayer;
    card.border = card.face = b.paper;
    card.lines = b.lines;
    card.frame = b.frame;
    card.lean = b.lean;
    card.font = b.font;
    card.italic = b.italic;
    card.emphasis = b.emphasis;
    card.noise = b.specks;
    card.seed = b.seed;
    return MakeScan(card.rect.width() + 2 * margin, card.rect.height() + 2 * margin,
                    {b.glass.red(), b.glass.green(), b.glass.blue(), 0, 1}, {card});
}
