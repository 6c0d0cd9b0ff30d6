// The modal run of the scan window and its creation.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/outside.h"
#include "common/prompts.h"
#include "common/settings_list.h"
#include "dialogs/messages.h"
#include "dialogs/placement.h"
#include "detection/selection_geometry.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanner/scanner_library.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>

namespace {

int safeVersion()
{
    int version = 0;
    CallScannerLibrary(QStringLiteral("versie nagaan"), [&version] { version = scannerLibrary().EasyVersion(); });
    return version;
}

}

bool SaveSettingsAtEnd(const SettingsList &settings)
{
    QString why;
    if (settings.saveToFile(SettingsFileName(), &why))
        return true;
    ShowNotice("De instellingen zijn niet bewaard: kon [" + SettingsFileName() + "] niet schrijven (" + why + ").");
    return false;
}

bool TScanform::Execute(DefaultFileNameFn defaultFileNameFn, NextFileNameFn nextFileNameFn,
                        AfterSaveFn afterSaveFn, const QString &initialFolderArg,
                        const QString &dialogBaseFolderArg, int jpegQuality, SettingsList *settingsArg,
                        bool useSettingsArg)
{
    useSettings = useSettingsArg;
    endJoin();
    if (useSettings)
        settings = settingsArg;
    defaultFileName = std::move(defaultFileNameFn);
    nextFileName = std::move(nextFileNameFn);
    afterSave = std::move(afterSaveFn);
    if (useSettings)
        LoadScanSettings();
    RegisterAppOnce(ProductTitle);
    initialFolder = initialFolderArg;
    if (!initialFolder.isEmpty())
        ui->doelmap->setText(initialFolder);
    dialogBaseFolder = dialogBaseFolderArg;
    if (ui->doelmap->text().isEmpty())
        ui->doelmap->setText(DefaultTargetFolder());
    if (ui->fnedit->text().isEmpty() && defaultFileName)
        ui->fnedit->setText(SplitExtension(defaultFileName(ui->doelmap->text())).base);
    ui->TrackBar1->setValue(jpegQuality);
    if (safeAvailable() == 0)
        selsourceClick();

    // The settings are stored however the window ends, an exception included.
    const auto store = qScopeGuard([this] {
        awaitPreviewFile();
        if (useSettings)
            StoreScanSettings();
    });
    return prompts().runModal(*this, QStringLiteral("Scanform")) == ModalResult::Ok;
}

void TScanform::CancelbutClick()
{
    done(int(ModalResult::Ok));
}

void TScanform::FormCreate()
{
    scannerSetUp = false;
    if (!BindScannerLibrary())
        return;
    const bool resolutionSettable = safeVersion() > 113;
    ui->dpilabel->setVisible(resolutionSettable);
    ui->dpi->setVisible(resolutionSettable);
    ui->dpiachter->setVisible(resolutionSettable);
    ui->dpiachterlabel->setVisible(resolutionSettable);
    Image1->setGeometry(ui->Panel1->rect());
    ui->scanachterkant->setText(QStringLiteral("Scan\r\nachterkant"));
    ui->help->setVisible(QFileInfo::exists(ProgramFolder() + QStringLiteral("data/kvnschermen.chm"))
                         || QFileInfo::exists(ProgramFolder() + QStringLiteral("kvnscan.chm")));
    Shape1->setGeometry(0, 0, ui->Panel1->width(), ui->Panel1->height());
    frontScan = QImage();
    cleanScan = QImage();
    scannerSetUp = true;
}

void TScanform::FormClose() {}

void TScanform::FormResize()
{
    FitPreview();
}

void TScanform::FitPreview()
{
    const QRect before = Image1->geometry();
    // The link labels keep a band of their own below the preview: they never
    // cover it nor catch its clicks.
    int band = 0;
    for (const QWidget *link : {ui->gebruikersinfo, ui->lbDravemont}) {
        if (link->isVisibleTo(this))
            band = std::max(band, ui->Panel1->height() - link->y() + 2);
    }
    const QRect area(0, 0, ui->Panel1->width(), std::max(2, ui->Panel1->height() - band));
    const FitRectangle r = FitRect(picture().width(), picture().height(), area.width(), area.height());
    Image1->setGeometry(r.x, r.y, std::max(2, r.w), std::max(2, r.h));
    Image1->update();
    // When the same picture moves or changes size, the frame stays over the
    // same part of it, and inside it. Another picture (a card shown while a
    // series is saved, a new scan) leaves the frame where it is.
    const QSize shown = picture().size();
    if (!picture().isNull() && shown == fittedPictureSize && before != Image1->geometry() && before.width() > 2
        && before.height() > 2)
        Shape1->setGeometry(FollowImage(Shape1->geometry(), before, Image1->geometry()));
    fittedPictureSize = shown;
}
