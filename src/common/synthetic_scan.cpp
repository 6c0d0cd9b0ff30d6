#include "common/synthetic_scan.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

QColor orDefault(const QColor &colour, const QColor &fallback) { return colour.isValid() ? colour : fallback; }

// Smooth shading with a few hard edges, as a photograph gives the coder.
void paintPhoto(QImage &picture, const QRect &rect)
{
    const QRect r = rect.intersected(picture.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar *line = picture.scanLine(y);
        const double fy = double(y - rect.top()) / rect.height();
        for (int x = r.left(); x <= r.right(); ++x) {
            const double fx = double(x - rect.left()) / rect.width();
            const double shade = 0.5 + 0.5 * std::sin(fx * 9.0) * std::cos(fy * 7.0);
            line[3 * x] = uchar(60 + 120 * shade);
            line[3 * x + 1] = uchar(80 + 100 * shade * fy);
            line[3 * x + 2] = ((x - rect.left()) / 90 + (y - rect.top()) / 120) % 5 == 0
                                  ? uchar(30)
                                  : uchar(100 + 140 * (1.0 - shade) * fx);
        }
    }
}

QImage plainCard(const SyntheticCard &card)
{
    QImage picture(card.rect.size(), QImage::Format_BGR888);
    const QColor border = orDefault(card.border, QColor(228, 222, 205));   // never within a small tolerance of white
    const QColor paper = orDefault(card.face, QColor(240, 236, 226));
    FillRect(picture, picture.rect(), border.red(), border.green(), border.blue());
    const int band = std::max(2, std::min(picture.width(), picture.height()) / 12);
    const QRect face = picture.rect().adjusted(band, band, -band, -band);
    FillRect(picture, face, paper.red(), paper.green(), paper.blue());
    int top = face.top();
    if (card.photo) {
        const QRect photo(face.left() + face.width() / 4, face.top() + band, face.width() / 2, face.height() / 3);
        paintPhoto(picture, photo);
        top = photo.bottom();
    }
    const int lineHeight = std::max(1, face.height() / 16);
    for (int y = top + lineHeight; y + lineHeight < face.bottom(); y += 2 * lineHeight)
        FillRect(picture, QRect(face.left() + band, y, std::max(1, face.width() - 2 * band), lineHeight),
                 card.shade, card.shade, card.shade + 10);
    return picture;
}

// Seven-segment digit, so no fonts are needed (the library may run without a GUI).
void drawDigit(QPainter &p, int digit, QRectF r, const QColor &c)
{
    static const unsigned char seg[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const double t = r.width() * 0.18, w = r.width(), h = r.height();
    const QRectF bars[7] = {
        {r.left() + t, r.top(), w - 2 * t, t},                     // a
        {r.right() - t, r.top() + t, t, h / 2 - 1.5 * t},          // b
        {r.right() - t, r.top() + h / 2 + t / 2, t, h / 2 - 1.5 * t}, // c
        {r.left() + t, r.bottom() - t, w - 2 * t, t},              // d
        {r.left(), r.top() + h / 2 + t / 2, t, h / 2 - 1.5 * t},   // e
        {r.left(), r.top() + t, t, h / 2 - 1.5 * t},               // f
        {r.left() + t, r.top() + h / 2 - t / 2, w - 2 * t, t},     // g
    };
    for (int i = 0; i < 7; ++i)
        if (seg[digit % 10] & (1 << i))
            p.fillRect(bars[i], c);
}

// The printed lines, centred in `area`; a line too wide for it is set smaller.
void drawLines(QPainter &p, const SyntheticCard &card, const QRectF &area, double u, const QColor &ink)
{
    const QStringList &lines = card.lines;
    const double step = area.height() / lines.size();
    p.setPen(ink);
    for (int i = 0; i < lines.size(); ++i) {
        QFont font(card.font);
        font.setPixelSize(std::max(1, int(std::lround((i == card.emphasis ? 3.4 : 3.0) * u))));
        font.setBold(i == card.emphasis);
        font.setItalic(card.italic && i != card.emphasis);
        const double width = QFontMetricsF(font).horizontalAdvance(lines[i]);
        if (width > area.width())
            font.setPixelSize(std::max(1, int(font.pixelSize() * area.width() / width)));
        p.setFont(font);
        p.drawText(QRectF(area.left(), area.top() + i * step, area.width(), step), Qt::AlignCenter, lines[i]);
    }
}

void drawPortrait(QPainter &p, const SyntheticCard &card, const QRectF &inner, double u, const QColor &ink)
{
    QRectF oval(inner.left() + 8 * u, inner.top() + 6 * u, inner.width() - 16 * u, 45 * u);
    p.setPen(QPen(ink, 1.2 * u));
    p.setBrush(QColor(150, 128, 100));
    p.drawEllipse(oval);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 72, 56));
    p.drawEllipse(QRectF(oval.center().x() - 7 * u, oval.top() + 8 * u, 14 * u, 17 * u));
    p.drawChord(QRectF(oval.center().x() - 15 * u, oval.top() + 27 * u, 30 * u, 30 * u), 0, 180 * 16);
    if (card.number <= 0)
        return;
    // A small cross, shifted by the number so the cards differ.
    const double cx = inner.left() + (8 + 6 * ((card.number - 1) % 3)) * u, cy = inner.top() + 58 * u;
    p.fillRect(QRectF(cx - 0.8 * u, cy - 4 * u, 1.6 * u, 10 * u), ink);
    p.fillRect(QRectF(cx - 3 * u, cy - 1.5 * u, 6 * u, 1.6 * u), ink);
    drawDigit(p, card.number, QRectF(inner.right() - 20 * u, inner.bottom() - 26 * u, 12 * u, 20 * u), ink);
}

void drawPrayer(QPainter &p, const SyntheticCard &card, const QRectF &inner, double u)
{
    const QColor text(70, 66, 60);
    if (card.frame) {
        p.setPen(QPen(Qt::black, 0.6 * u));
        p.setBrush(Qt::NoBrush);
        p.drawRect(inner.adjusted(-u, -u, u, u));
    }
    if (card.number > 0) {
        p.fillRect(QRectF(inner.center().x() - 0.8 * u, inner.top() + 3 * u, 1.6 * u, 9 * u), text);
        p.fillRect(QRectF(inner.center().x() - 3 * u, inner.top() + 5.5 * u, 6 * u, 1.6 * u), text);
    }
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (!card.lines.isEmpty())
            drawLines(p, card, inner.adjusted(3 * u, 15 * u, -3 * u, -13 * u), u, text);
    } else {
        // Without a GUI there are no fonts: lines of varying length stand for the text.
        unsigned seed = 977u * unsigned(card.number);
        double y = inner.top() + 16 * u;
        while (y < inner.bottom() - 14 * u) {
            seed = seed * 1103515245u + 12345u;
            const double len = inner.width() * (0.55 + 0.35 * ((seed >> 16) % 100) / 100.0);
            p.fillRect(QRectF(inner.center().x() - len / 2 + 2 * u, y, len - 4 * u, 1.4 * u), text);
            y += 4.2 * u;
        }
    }
    if (card.number > 0)
        drawDigit(p, card.number, QRectF(inner.center().x() - 3 * u, inner.bottom() - 11 * u, 6 * u, 9 * u), text);
}

// A memorial card drawn with QPainter; u is one millimetre of a card 56 mm wide.
QImage memorialCard(const SyntheticCard &card)
{
    const int w = card.rect.width(), h = card.rect.height();
    QImage picture(w, h, QImage::Format_RGB32);
    const bool front = card.look == CardLook::Portrait;
    const QColor ink(60, 48, 36);
    picture.fill(orDefault(card.border, QColor(238, 230, 208)));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = w / 56.0;
    const QRectF inner(3 * u, 3 * u, w - 6 * u, h - 6 * u);
    p.fillRect(inner, orDefault(card.face, front ? QColor(196, 178, 150) : QColor(226, 222, 212)));
    if (front)
        drawPortrait(p, card, inner, u, ink);
    else
        drawPrayer(p, card, inner, u);
    p.end();
    return picture.convertToFormat(QImage::Format_BGR888);
}

void copyOnto(QImage &page, const QRect &rect, const QImage &picture)
{
    const QRect r = rect.intersected(page.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memcpy(page.scanLine(y) + size_t(r.left()) * 3,
                    picture.constScanLine(y - rect.top()) + size_t(r.left() - rect.left()) * 3, size_t(r.width()) * 3);
}

// Turned about the card's centre, antialiased; an oval item is cut out first.
void drawAskew(QImage &canvas, const SyntheticCard &card, const QImage &picture)
{
    QImage item = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (card.oval) {
        QImage mask(item.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.setPen(Qt::NoPen);
        m.setBrush(Qt::black);
        m.drawEllipse(QRectF(mask.rect()));
        m.end();
        QPainter cut(&item);
        cut.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        cut.drawImage(0, 0, mask);
    }
    QPainter p(&canvas);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    p.translate(QRectF(card.rect).center());
    p.rotate(card.lean);
    p.drawImage(QPointF(-item.width() / 2.0, -item.height() / 2.0), item);
}

// The card's edge a quarter darker, as the shadow of its thickness.
void darkenEdge(QImage &picture, int width)
{
    for (int y = 0; y < picture.height(); ++y) {
        uchar *line = picture.scanLine(y);
        const bool rim = y < width || y >= picture.height() - width;
        for (int x = 0; x < picture.width(); ++x)
            if (rim || x < width || x >= picture.width() - width)
                for (int c = 0; c < 3; ++c)
                    line[3 * x + c] = uchar(line[3 * x + c] * 3 / 4);
    }
}

// Brightness falling off across the lid, a shadow along its top and dust and
// hairs on it, before the cards are laid down.
void shadeGlass(QImage &page, const SyntheticGlass &glass)
{
    const int w = page.width();
    for (int y = 0; y < page.height(); ++y) {
        uchar *line = page.scanLine(y);
        const double inShadow = y < glass.shadow ? 1.0 - double(y) / glass.shadow : 0.0;
        const double dark = 1.0 - 0.25 * inShadow * inShadow;
        for (int x = 0; x < w; ++x) {
            const double gain = dark * (1.0 - glass.falloff * x / w);
            for (int c = 0; c < 3; ++c)
                line[3 * x + c] = uchar(std::lround(line[3 * x + c] * gain));
        }
    }
    if (glass.dust <= 0)
        return;
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    uint32_t seed = glass.seed * 747796405u + 1u;
    const auto next = [&seed](int span) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(std::max(1, span)));
    };
    const int unit = std::max(1, w / 1000);   // about a fifth of a millimetre on an A4 glass
    for (int i = 0; i < glass.dust; ++i) {
        const QPointF at(next(w), next(page.height()));
        const int grey = 60 + next(100);
        if (i % 3) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(grey, grey, grey));
            p.drawEllipse(at, unit * (0.5 + next(3)), unit * (0.5 + next(3)));
        } else {
            QPainterPath hair(at);
            const int len = unit * (15 + next(60));
            hair.quadTo(at + QPointF(next(len) - len / 2, next(len) - len / 2),
                        at + QPointF(next(2 * len) - len, next(2 * len) - len));
            p.setPen(QPen(QColor(grey, grey, grey), unit * 0.5));
            p.setBrush(Qt::NoBrush);
            p.drawPath(hair);
        }
    }
}

} // namespace

void FillRect(QImage &picture, const QRect &rect, int red, int green, int blue)
{
    const QRect r = rect.intersected(picture.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = r.left(); x <= r.right(); ++x) {
            line[3 * x] = uchar(blue);
            line[3 * x + 1] = uchar(green);
            line[3 * x + 2] = uchar(red);
        }
    }
}

void AddNoise(QImage &picture, const QRect &rect, int amount, uint32_t seed, int brightest)
{
    if (amount <= 0)
        return;
    const QRect r = rect.intersected(picture.rect());
    const uint32_t span = uint32_t(2 * amount + 1);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar *line = picture.scanLine(y) + size_t(r.left()) * 3;
        for (int x = 0; x < r.width() * 3; ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = uchar(std::clamp(line[x] + int((seed >> 24) % span) - amount, 0, brightest));
        }
    }
}

int MmToPixels(double mm, int dpi) { return int(std::lround(mm / 25.4 * dpi)); }

QImage PaintCard(const SyntheticCard &card)
{
    if (card.rect.isEmpty())
        return QImage();
    QImage picture = card.look == CardLook::Plain ? plainCard(card) : memorialCard(card);
    if (card.edge > 0)
        darkenEdge(picture, card.edge);
    AddNoise(picture, picture.rect(), card.noise, card.seed, card.brightest);
    return picture;
}

QImage MakeScan(int width, int height, const SyntheticGlass &glass, const std::vector<SyntheticCard> &cards)
{
    QImage page(width, height, QImage::Format_BGR888);
    if (page.isNull())
        return page;
    FillRect(page, page.rect(), glass.red, glass.green, glass.blue);
    AddNoise(page, page.rect(), glass.noise, glass.seed * 2654435761u + 12345u);
    if (glass.falloff != 0 || glass.shadow > 0 || glass.dust > 0)
        shadeGlass(page, glass);
    QImage canvas;   // while cards lie askew: QPainter draws on 32 bits
    for (const SyntheticCard &card : cards) {
        const QImage picture = PaintCard(card);
        if (picture.isNull())
            continue;
        if (card.lean == 0 && !card.oval) {
            if (!canvas.isNull())
                page = std::exchange(canvas, QImage()).convertToFormat(QImage::Format_BGR888);
            copyOnto(page, card.rect, picture);
            continue;
        }
        if (canvas.isNull())
            canvas = page.convertToFormat(QImage::Format_RGB32);
        drawAskew(canvas, card, picture);
    }
    if (!canvas.isNull())
        page = canvas.convertToFormat(QImage::Format_BGR888);
    return page;
}
