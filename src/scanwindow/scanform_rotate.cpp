// The three rotate buttons.
#include "scanwindow/scanform.h"

#include "dialogs/busy_cursor.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/beside_window.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"


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
}

void TScanform::BitBtn3Click(QObject *sender)
{
    QImage &shown = picture();
    const QRect frame = plainFrame;
    const int w = shown.width(), h = shown.height();
    auto turn = [this, sender](QImage &picture) {
        MakeBitmap24(picture);
        if (sender == ui->BitBtn3)
            RotateQuarterRight(picture);
        else if (sender == ui->BitBtn2)
            RotateQuarterLeft(picture);
        else if (sender == ui->BitBtn1)
            RotateHalf(picture);
    };
    if (SlowToCopy(shown)) {
        // The preview keeps painting the picture as it was until the turn is done.
        QImage turned = shown;
        RunBesideWindow(QStringLiteral("Draaien"), QStringLiteral("Bezig met draaien…"), [&] { turn(turned); });
        setPicture(turned);
    } else {
        BusyCursor busy;
        turn(shown);
        pictureChanged();
    }
    pictureUnsaved = true;
    cleanScan = shown;   // shares the pixels until one of them is changed
    endJoin();
    FitPreview();
    plainFrame = Turned(frame, w, h, sender == ui->BitBtn3   ? 1
                                       : sender == ui->BitBtn2 ? 3
                                       : sender == ui->BitBtn1 ? 2
                                                               : 0);
    placePlainFrame();
}
