// Opening a picture file, the clipboard, the help pages and the maker's web site.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "dialogs/busy_cursor.h"
#include "imaging/picture.h"
#include "dialogs/messages.h"
#include "imaging/picture_file.h"
#include "imaging/picture_limits.h"
#include "scanwindow/beside_window.h"
#include "scanwindow/preview_image.h"
#include "ui_scanform.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

namespace {
// The folder last opened from in this run: the open dialog starts there again.
QString g_lastOpenFolder;
}

void TScanform::openfileknopClick()
{
    QString file = prompts().openFileName(QStringLiteral("Open een afbeelding"), g_lastOpenFolder, QString());
    if (file.isEmpty())
        return;
    g_lastOpenFolder = QFileInfo(file).absolutePath();
    // Read aside, within what the window can show, turn and save.
    QImage loaded = picture();
    {
        ScopedPictureByteLimit limit(WindowPictureByteLimit());
        BusyCursor busy;
        LoadPictureFile(loaded, file);
    }
    // Nothing read (reading cancelled, or not a picture file): all stays as it was.
    if (loaded.cacheKey() == picture().cacheKey())
        return;
    const qint64 pixels = qint64(loaded.width()) * loaded.height();
    if (pixels > VeryLargePicturePixels()
        && AskYesNo(QStringLiteral("Dit bestand is een zeer groot plaatje (%1 megapixel). Toch openen?")
                        .arg((pixels + 500000) / 1000000),
                    QString(), QString(), ModalResult::No, QStringLiteral("Open bestand")) != ModalResult::Yes)
        return;
    setPicture(loaded);
    loaded = QImage();
    pictureUnsaved = true;
    // The preview file is written beside the window once the picture shows: it
    // goes in place whole, after the one of an earlier open, and whatever
    // writes or reads it next waits for it.
    previewWrite = std::async(std::launch::async, [earlier = std::move(previewWrite), shown = picture()] {
        if (earlier.valid())
            earlier.wait();
        try {
            SavePictureFile(shown, PreviewFilePath, 70, 0);
        } catch (...) {
            // Only the next start reads it; the picture is still in the window.
        }
    });
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

void TScanform::awaitPreviewFile()
{
    if (!previewWrite.valid())
        return;
    if (previewWrite.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        RunBesideWindow(QStringLiteral("Bestand openen"),
                        QStringLiteral("Bezig met bewaren van %1…").arg(QFileInfo(PreviewFilePath).fileName()),
                        [this] { previewWrite.wait(); });
    previewWrite.get();
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
