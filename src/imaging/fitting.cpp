// Fitting the preview image control into its panel.
#include "imaging/picture.h"

#include <QLabel>
#include <QWidget>
#include <algorithm>

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

void FitImageInPanel(QWidget *image, QSize pictureSize, QWidget *panel, int margin, bool centre)
{
    if (!image || !panel)
        return;
    const int aw = panel->width() - 2 * margin;
    const int ah = panel->height() - 2 * margin;
    const FitRectangle r = FitRect(pictureSize.width(), pictureSize.height(), aw, ah);
    if (auto *label = qobject_cast<QLabel *>(image)) {
        label->setScaledContents(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    const int w = std::max(2, r.w);
    const int h = std::max(2, r.h);
    const int left = centre ? r.x + margin : margin;
    const int top = centre ? r.y + margin : margin;
    image->setGeometry(left, top, w, h);
    image->update();
}
