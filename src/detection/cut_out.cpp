#include "detection/cut_out.h"

#include "detection/reading_order.h"
#include "detection/whitening.h"

#include <algorithm>
#include <cstring>

namespace {
void Make24(QImage &picture)
{
    if (!picture.isNull() && picture.format() != QImage::Format_BGR888)
        picture.convertTo(QImage::Format_BGR888);
}
} // namespace

QImage FilledPicture(int width, int height, unsigned fill)
{
    if (width <= 0 || height <= 0)
        return QImage();
    QImage picture(width, height, QImage::Format_BGR888);
    if (picture.isNull())
        return picture;
    const uchar b = uchar((fill >> 16) & 0xFF), g = uchar((fill >> 8) & 0xFF), r = uchar(fill & 0xFF);
    uchar *first = picture.scanLine(0);
    if (r == g && g == b) {
        std::memset(first, r, size_t(width) * 3);
    } else {
        for (int x = 0; x < width; ++x) {
            first[3 * x] = b;
            first[3 * x + 1] = g;
            first[3 * x + 2] = r;
        }
    }
    for (int y = 1; y < height; ++y)
        std::memcpy(picture.scanLine(y), first, size_t(width) * 3);
    return picture;
}

void CopyRect(const QImage &source, const ScanBox &rect, QImage &target, int x, int y)
{
    // Clip to both pictures: nothing outside either is read or written.
    int sx0 = std::max(rect.left, 0), sy0 = std::max(rect.top, 0);
    int sx1 = std::min(rect.right, source.width()), sy1 = std::min(rect.bottom, source.height());
    sx0 = std::max(sx0, rect.left + (0 - x));
    sy0 = std::max(sy0, rect.top + (0 - y));
    sx1 = std::min(sx1, rect.left + (target.width() - x));
    sy1 = std::min(sy1, rect.top + (target.height() - y));
    if (sx0 >= sx1 || sy0 >= sy1)
        return;
    const size_t bytes = size_t(sx1 - sx0) * 3;
    for (int sy = sy0; sy < sy1; ++sy) {
        const uchar *from = source.constScanLine(sy) + size_t(sx0) * 3;
        uchar *to = target.scanLine(y + sy - rect.top) + size_t(x + sx0 - rect.left) * 3;
        std::memcpy(to, from, bytes);
    }
}

QImage MakeBoxPicture(QImage &work, const ScanBox &box, QImage *front, const ScanBox *partner,
                      const CutOutSettings &settings)
{
    int fw = 0, fh = 0, ox = 0, oy = 0;
    if (partner && front) {
        fw = partner->width();
        fh = partner->height();
        if (settings.placement == 0)
            ox = fw;
        else
            oy = fh;
    } else {
        partner = nullptr;
    }
    QImage picture = FilledPicture(std::max(fw, ox + box.width()), std::max(fh, oy + box.height()),
                                   settings.fillColour());
    if (picture.isNull())
        return picture;
    if (partner) {
        Make24(*front);
        if (settings.whiten)
            WhitenBackground(*front, *partner, settings.key);
        CopyRect(*front, *partner, picture, 0, 0);
    }
    Make24(work);
    if (settings.whiten)
        WhitenBackground(work, box, settings.key);
    CopyRect(work, box, picture, ox, oy);
    return picture;
}

QImage CutOutBoxes(const QImage &cleanScan, ScanBoxList &boxes, int count, const FrontSide *front,
                   const CutOutSettings &settings, const std::function<void(const QImage &)> &save)
{
    count = std::clamp(count, 0, int(boxes.size()));
    if (count == 0)
        return cleanScan;
    QImage work = cleanScan;
    Make24(work);
    OrderBoxes(boxes, count, settings.columns);
    for (int i = 0; i < count; ++i) {
        const ScanBox *partner = nullptr;
        if (front && front->scan && front->boxes) {
            const int k = FindPartner(boxes, count, i, *front->boxes, front->count);
            if (k >= 0)
                partner = &(*front->boxes)[size_t(k)];
        }
        const QImage picture = MakeBoxPicture(work, boxes[size_t(i)], front ? front->scan : nullptr, partner,
                                              settings);
        save(picture);
    }
    return work;
}
