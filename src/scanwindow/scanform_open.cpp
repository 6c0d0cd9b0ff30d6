// Opening a picture file, the clipboard, the help pages and the maker's web site.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "dialogs/busy_cursor.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

void TScanform::openfileknopClick()
{
    QString file = prompts().openFileName(QStringLiteral("Open een afbeelding"), QString(), QString());
    if (file.isEmpty())
        return;
    const qint64 before = picture().cacheKey();
    {
        BusyCursor busy;
        LoadPictureFile(picture(), file);
    }
    // Nothing read (reading cancelled, or not a picture file): all stays as it was.
    if (picture().cacheKey() == before)
        return;
    pictureChanged();
    SavePictureFile(picture(), PreviewFilePath, 70, 0);
    // The opened picture counts as a plain scan: no back side of an earlier pass
    // waits to be paired with it, and the boxes of that pass are not its own.
    cleanScan = picture();
    scanTime = QFileInfo(file).lastModified();
    endJoin();
    backSidePass = false;
    boxes.clear();
    scanResolution = 0;
    ShowPlainSaveCaption();
    FitPreview();
    // An opened picture is there to be saved, also before the first scan.
    if (picture().width() > 0)
        ui->save->setEnabled(true);
}

void TScanform::Button1Click()
{
    QGuiApplication::clipboard()->setImage(picture());
}

void TScanform::helpClick()
{
    const QString topic = QStringLiteral("scanform.htm");
    const QString screenHelp = ProgramFolder() + QStringLiteral("data/kvnschermen.chm");
    if (SafeFileExists(screenHelp))
        ShowHelpTopic(topic, screenHelp);
    else
        ShowHelpTopic(topic, ProgramFolder() + QStringLiteral("kvnscan.chm"));
}

void TScanform::lbDravemontClick()
{
    ShellOpen(kMakerWebAddress, QString(), QStringLiteral("open"));
}
