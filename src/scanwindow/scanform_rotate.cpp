// The three rotate buttons.
#include "scanwindow/scanform.h"

#include "dialogs/busy_cursor.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"


void TScanform::BitBtn3Click(QObject *sender)
{
    QImage &shown = picture();
    MakeBitmap24(shown);
    BusyCursor busy;
    if (sender == ui->BitBtn3)
        RotateQuarterRight(shown);
    else if (sender == ui->BitBtn2)
        RotateQuarterLeft(shown);
    else if (sender == ui->BitBtn1)
        RotateHalf(shown);
    pictureChanged();
    cleanScan = shown;   // shares the pixels until one of them is changed
    endJoin();
    FitPreview();
}
