// The three rotate buttons.
#include "scanwindow/scanform.h"

#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"

#include <QApplication>

namespace {
// The hourglass for as long as the turn takes, however it ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};
}

void TScanform::BitBtn3Click(QObject *sender)
{
    QImage &shown = picture();
    MakeBitmap24(shown);
    WaitCursor wait;
    if (sender == ui->BitBtn3)
        RotateQuarterRight(shown);
    else if (sender == ui->BitBtn2)
        RotateQuarterLeft(shown);
    else if (sender == ui->BitBtn1)
        RotateHalf(shown);
    pictureChanged();
    cleanScan = shown;   // shares the pixels until one of them is changed
    endJoin();
    FitImageInPanel(Image1, picture().size(), ui->Panel1, 0, true);
}
