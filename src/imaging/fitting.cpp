// Fitting a picture into an area, proportions kept.
#include "imaging/picture.h"

FitRectangle FitRect(int sourceWidth, int sourceHeight, int availableWidth, int availableHeight)
{
    const qint64 sw = sourceWidth, sh = sourceHeight, aw = availableWidth, ah = availableHeight;
    FitRectangle r;
    r.x = int((aw - sw) / 2);
    r.y = int((ah - sh) / 2);
    r.w = sourceWidth;
    r.h = sourceHeight;
    if (sw == 0)
        return r;
    qint64 w = aw;
    qint64 h = aw * sh / sw;
    if (h > ah) {
        if (sh == 0)
            return r;
        h = ah;
        w = ah * sw / sh;
    }
    return FitRectangle{int((aw - w) / 2), int((ah - h) / 2), int(w), int(h)};
}
