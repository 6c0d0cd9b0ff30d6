// The three rotate buttons.
#include "scanwindow/scanform.h"

#include "dialogs/busy_cursor.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/beside_window.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"

#include <QScopeGuard>

namespace {
// The frame over the same part of a w x h picture after its turn.
QRect Turned(const QRect &r, int w, int h, int quarters)
{
    if (r.isEmpty())
        return r;
    if (quarters == 1)   // clockwise
        return QRect(h - r.top() - r.height(), r.left(), r.height(), r.width());
    if (quarters == 3)   // counter-clockwise
        return QRect(r.top(), w - r.left() - r.width(), r.height(), r.width());
    if (quarters == 0)
        return r;
    return QRect(w - r.left() - r.width(), h - r.top() - r.height(), r.width(), r.height());
}

void Turn(QImage &picture, int quarters)
{
    MakeBitmap24(picture);
    if (quarters == 1)
        RotateQuarterRight(picture);
    else if (quarters == 3)
        RotateQuarterLeft(picture);
    else if (quarters == 2)
        RotateHalf(picture);
}
}

void TScanform::BitBtn3Click(QObject *sender)
{
    const int quarters = sender == ui->BitBtn3 ? 1 : sender == ui->BitBtn2 ? 3 : sender == ui->BitBtn1 ? 2 : 0;
    BusyCursor busy;
    QImage &shown = picture();
    const QRect frame = plainFrame;
    const int w = shown.width(), h = shown.height();
    const qint64 before = shown.cacheKey();
    // The clean scan is the turned picture afterwards: it lets go of the pixels
    // now, so that a half turn needs no copy of them (and has them back should
    // the turn fail).
    const bool released = cleanScan.cacheKey() == before;
    if (released)
        cleanScan = QImage();
    auto failed = qScopeGuard([&] {
        if (released)
            cleanScan = shown;
    });
    if (SlowToCopy(shown)) {
        // The preview keeps painting the picture as it was until the turn is done.
        QImage turned = shown;
        RunBesideWindow(QStringLiteral("Draaien"), QStringLiteral("Bezig met draaien…"),
                        [&] { Turn(turned, quarters); });
        shown = turned;
    } else {
        Turn(shown, quarters);
    }
    failed.dismiss();
    cleanScan = shown;
    Image1->pictureTurned(before, quarters);
    pictureUnsaved = true;
    endJoin();
    FitPreview();
    plainFrame = Turned(frame, w, h, quarters);
    placePlainFrame();
}
