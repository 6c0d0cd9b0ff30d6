#pragma once
// Scans made in code, for the virtual scanner, the tests and the benchmarks:
// glass of one colour with sensor noise, and cards lying on it, upright or askew.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

enum class CardLook {
    Plain,      // pale border band, paper face, rows of dark bars for text
    Portrait,   // memorial card front: a portrait in an oval frame, a cross, the number
    Prayer,     // memorial card back: a cross, the printed lines, the number
};

struct SyntheticCard {
    QRect rect;                  // where it lies before the lean, in page pixels
    uint8_t shade = 60;          // Plain: darkness of the text rows (blue 10 more)
    CardLook look = CardLook::Plain;
    bool photo = false;          // Plain: a shaded photograph above the text rows
    bool oval = false;           // an oval item instead of a rectangular card
    double lean = 0;             // degrees, clockwise on screen, about the centre
    QColor border{}, face{};     // invalid: the look's own colours
    QStringList lines{};         // Prayer: the printed lines, in DejaVu Serif
    int emphasis = -1;           // Prayer: the line set bold and larger
    bool frame = false;          // Prayer: a black line 2 mm inside the edge
    int number = 0;              // Portrait, Prayer: the card's number; 0 none
    int noise = 0;               // sensor noise on the card, before it is laid down
    uint32_t seed = 0;
    int brightest = 255;         // the noise never goes above this
    QString font = QStringLiteral("DejaVu Serif"); // Prayer: the family of the printed lines
    bool italic = false;         // Prayer: every line but the emphasised one in italics
    int edge = 0;                // pixels of the darker line the card's thickness casts along its edge
};

struct SyntheticGlass {
    int red = 255, green = 255, blue = 255;
    int noise = 2;               // each channel varies by up to this much
    uint32_t seed = 1;
    // A lid as it lies; all off by default.
    double falloff = 0;          // share by which the lid darkens from its left edge to its right
    int shadow = 0;              // pixels of shadow along the top edge, darkest (by a quarter) at the edge
    int dust = 0;                // specks and hairs lying on the glass
};

// A 24-bit picture (Format_BGR888) of the glass with the cards on it, in order.
QImage MakeScan(int width, int height, const SyntheticGlass &glass, const std::vector<SyntheticCard> &cards);

// One card alone, upright, at the size of its rect (Format_BGR888).
QImage PaintCard(const SyntheticCard &card);

// Fills rect (clipped) with one colour.
void FillRect(QImage &picture, const QRect &rect, int red, int green, int blue);

// Moves every byte in rect (clipped) by up to amount, each by its own draw.
void AddNoise(QImage &picture, const QRect &rect, int amount, uint32_t seed, int brightest = 255);

// Millimetres on the glass at dpi, in whole pixels.
int MmToPixels(double mm, int dpi);
