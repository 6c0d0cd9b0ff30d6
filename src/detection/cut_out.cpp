#include "detection/cut_out.h"

#include "detection/reading_order.h"
#include "detection/straighten.h"
#include "detection/whitening.h"
#include "codec/picture_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
void Make24(QImage &picture)
{
    if (!picture.isNull() && picture.format() != QImage::Format_BGR888)
        picture.convertTo(QImage::Format_BGR888);
}
// A copy that whitening may paint, in memory that may sit on huge pages.
QImage WorkingCopy(const QImage &scan)
{
    if (scan.format() != QImage::Format_BGR888)
        return scan.convertToFormat(QImage::Format_BGR888);
    const QImage copy = CopyPicture24(scan);
    return copy.isNull() ? scan : copy;
}
} // namespace

namespace {

struct Span {
    int sx0, sy0, sx1, sy1;   // source pixels to copy
    int dx, dy;               // where sx0, sy0 lands in the target
    bool empty() const { return sx0 >= sx1 || sy0 >= sy1; }
    QRect target() const { return QRect(dx, dy, sx1 - sx0, sy1 - sy0); }
};

// rect of source placed at (x, y) of target, clipped to both pictures: nothing
// outside either is read or written.
Span Clip(const QImage &source, const ScanBox &rect, const QImage &target, int x, int y)
{
    Span s;
    s.sx0 = std::max({rect.left, 0, rect.left - x});
    s.sy0 = std::max({rect.top, 0, rect.top - y});
    s.sx1 = std::min({rect.right, source.width(), rect.left + target.width() - x});
    s.sy1 = std::min({rect.bottom, source.height(), rect.top + target.height() - y});
    s.dx = x + s.sx0 - rect.left;
    s.dy = y + s.sy0 - rect.top;
    return s;
}

void Copy(const QImage &source, const Span &s, QImage &target)
{
    if (s.empty())
        return;
    const size_t bytes = size_t(s.sx1 - s.sx0) * 3;
    for (int sy = s.sy0; sy < s.sy1; ++sy)
        std::memcpy(target.scanLine(s.dy + sy - s.sy0) + size_t(s.dx) * 3, source.constScanLine(sy) + size_t(s.sx0) * 3,
                    bytes);
}

void FillRun(uchar *p, int count, const uchar bgr[3])
{
    if (count <= 0)
        return;
    if (bgr[0] == bgr[1] && bgr[1] == bgr[2]) {
        std::memset(p, bgr[0], size_t(count) * 3);
        return;
    }
    for (int x = 0; x < count; ++x, p += 3) {
        p[0] = bgr[0];
        p[1] = bgr[1];
        p[2] = bgr[2];
    }
}

// Fills every pixel of picture outside the covered rectangles (at most two).
void FillOutside(QImage &picture, const std::vector<QRect> &covered, unsigned fill)
{
    const uchar bgr[3] = {uchar((fill >> 16) & 0xFF), uchar((fill >> 8) & 0xFF), uchar(fill & 0xFF)};
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < picture.height(); ++y) {
        runs.clear();
        for (const QRect &r : covered)
            if (!r.isEmpty() && y >= r.top() && y <= r.bottom())
                runs.push_back({r.left(), r.left() + r.width()});
        std::sort(runs.begin(), runs.end());
        uchar *line = picture.scanLine(y);
        int x = 0;
        for (const auto &run : runs) {
            FillRun(line + size_t(x) * 3, run.first - x, bgr);
            x = std::max(x, run.second);
        }
        FillRun(line + size_t(x) * 3, picture.width() - x, bgr);
    }
}

// With whitening and straightening, what a side shows beside its card (a
// neighbour's corner, a shadow) is whitened too: the card is the rectangle its
// lean was measured on, upright in the side's place.
void WhitenBesideCard(QImage &picture, const QRect &place, double centreX, double centreY, const CardLean &lean)
{
    const QRect card(int(std::floor(centreX - lean.width / 2)) - 1, int(std::floor(centreY - lean.height / 2)) - 1,
                     int(std::ceil(lean.width)) + 3, int(std::ceil(lean.height)) + 3);
    const QRect area = place & picture.rect();
    const uchar white[3] = {255, 255, 255};
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uchar *line = picture.scanLine(y);
        if (y < card.top() || y > card.bottom()) {
            FillRun(line + size_t(area.left()) * 3, area.width(), white);
            continue;
        }
        const int l = std::clamp(card.left(), area.left(), area.right() + 1);
        const int r = std::clamp(card.right() + 1, l, area.right() + 1);
        FillRun(line + size_t(area.left()) * 3, l - area.left(), white);
        FillRun(line + size_t(r) * 3, area.right() + 1 - r, white);
    }
}

struct Side {
    const QImage *scan;
    const ScanBox *rect;
    CardLean lean;
    ScanBox shown;   // what the picture shows of it: rect, or the card turned
    int x = 0, y = 0;
    Span span{};
};

// Draws each side at its place in picture; made, when given, stands for the last side.
void PaintSides(QImage &picture, std::vector<Side> &sides, const QImage *made, const CutOutSettings &settings)
{
    // Only what no side covers gets the fill: the rest is written once.
    std::vector<QRect> covered;
    for (Side &side : sides) {
        side.span = Clip(*side.scan, *side.rect, picture, side.x, side.y);
        if (made && &side == &sides.back())
            covered.push_back(QRect(side.x, side.y, made->width(), made->height()));
        else if (NeedsTurning(side.lean))
            covered.push_back(QRect(side.x, side.y, side.shown.width(), side.shown.height()) & picture.rect());
        else if (!side.span.empty())
            covered.push_back(side.span.target());
    }
    FillOutside(picture, covered, settings.fillColour());
    for (const Side &side : sides) {
        if (made && &side == &sides.back())
            Copy(*made, Span{0, 0, made->width(), made->height(), side.x, side.y}, picture);
        else if (NeedsTurning(side.lean))
            DrawStraightened(*side.scan, side.shown, side.lean, picture, side.x, side.y, settings.fillColour(), 0,
                             side.rect);
        else
            Copy(*side.scan, side.span, picture);
        if (!settings.whiten || !side.lean.confident)
            continue;
        // Turned or not, the card's centre keeps its place in what the side shows.
        WhitenBesideCard(picture, QRect(side.x, side.y, side.shown.width(), side.shown.height()),
                         side.x + side.lean.centreX - side.shown.left, side.y + side.lean.centreY - side.shown.top,
                         side.lean);
    }
}

} // namespace

CardPictures MakeBoxPicture(QImage &work, const ScanBox &box, QImage *front, const ScanBox *partner,
                            const CutOutSettings &settings, const QImage *made)
{
    if (made && (made->isNull() || made->format() != QImage::Format_BGR888 || settings.whiten))
        made = nullptr;
    if (!front)
        partner = nullptr;
    // Each side either copied as it lies or turned upright and cut to the card
    // with its margin; whitening comes first, so the lean is measured on it.
    std::vector<Side> sides;
    if (partner) {
        Make24(*front);
        if (settings.whiten)
            WhitenBackground(*front, *partner, settings.key);
        sides.push_back({front, partner, {}, *partner});
    }
    Make24(work);
    if (settings.whiten)
        WhitenBackground(work, box, settings.key);
    sides.push_back({&work, &box, {}, box});
    for (Side &side : sides) {
        if (settings.straighten && !(made && &side == &sides.back()))
            side.lean = MeasureLean(*side.scan, *side.rect, settings.key);
        side.shown = StraightenedRect(*side.rect, side.lean);
    }
    Side &own = sides.back();
    if (made)
        own.shown = ScanBox{0, 0, made->width(), made->height()};
    const int fw = partner ? sides[0].shown.width() : 0, fh = partner ? sides[0].shown.height() : 0;
    own.x = partner && settings.placement == 0 ? fw : 0;
    own.y = partner && settings.placement != 0 ? fh : 0;
    const int width = std::max(fw, own.x + own.shown.width()), height = std::max(fh, own.y + own.shown.height());
    if (width <= 0 || height <= 0)
        return {};
    CardPictures card;
    QImage &picture = card.joined;
    picture = NewPicture24(width, height);
    if (picture.isNull())
        return card;

    PaintSides(picture, sides, made, settings);
    if (settings.sides && partner) {
        card.front = picture.copy(0, 0, fw, fh);
        card.back = picture.copy(own.x, own.y, own.shown.width(), own.shown.height());
    }
    return card;
}

QImage BoxAlone(const QImage &scan, const ScanBox &box, CutOutSettings settings)
{
    settings.whiten = false;
    settings.sides = false;
    QImage work = scan;   // shares the pixels: nothing is written to it
    return MakeBoxPicture(work, box, nullptr, nullptr, settings).joined;
}

QImage CutOutBoxes(const QImage &cleanScan, ScanBoxList &boxes, int count, const FrontSide *front,
                   const CutOutSettings &settings, const std::function<void(const CardPictures &)> &save,
                   const std::function<bool()> &stop, const std::function<QImage(const ScanBox &)> &made)
{
    count = std::clamp(count, 0, int(boxes.size()));
    if (count == 0)
        return cleanScan;
    QImage work = settings.whiten ? WorkingCopy(cleanScan) : cleanScan;
    Make24(work);
    OrderBoxes(boxes, count, settings.columns);
    for (int i = 0; i < count; ++i) {
        if (stop && stop())
            break;
        const ScanBox *partner = nullptr;
        if (front && front->scan && front->boxes) {
            const int k = FindPartner(boxes, count, i, *front->boxes, front->count);
            if (k >= 0)
                partner = &(*front->boxes)[size_t(k)];
        }
        const QImage ready = made ? made(boxes[size_t(i)]) : QImage();
        save(MakeBoxPicture(work, boxes[size_t(i)], front ? front->scan : nullptr, partner, settings, &ready));
    }
    return work;
}
