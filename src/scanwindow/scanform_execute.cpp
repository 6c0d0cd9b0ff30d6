// The modal run of the scan window, its creation and its settings.
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
#include <algorithm>

namespace {

const QString KeyPrefix = QStringLiteral("scandocform");

int safeVersion()
{
    try {
        return scannerLibrary().EasyVersion();
    } catch (...) {
        return 0;
    }
}

int safeAvailable()
{
    try {
        return scannerLibrary().IsAvailable();
    } catch (...) {
        return 0;
    }
}

QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

}

bool SaveSettingsAtEnd(const SettingsList &settings)
{
    if (settings.saveToFile(SettingsFileName()))
        return true;
    ShowNotice("De instellingen zijn niet bewaard: kon [" + SettingsFileName() + "] niet schrijven.");
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
        ui->doelmap->setText(ProgramFolder());
    if (ui->fnedit->text().isEmpty() && defaultFileName)
        ui->fnedit->setText(SplitExtension(defaultFileName(ui->doelmap->text())).base);
    ui->TrackBar1->setValue(jpegQuality);
    if (safeAvailable() == 0)
        selsourceClick();

    int result = 2;
    try {
        result = prompts().runModal(*this, QStringLiteral("Scanform"));
    } catch (...) {
        if (useSettings)
            StoreScanSettings();
        throw;
    }
    if (useSettings)
        StoreScanSettings();
    return result == 1;
}

void TScanform::CancelbutClick()
{
    done(1);
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

void TScanform::LoadScanSettings()
{
    if (!useSettings || !settings)
        return;
    SettingsList &s = *settings;
    RestorePlacement(this, s, QStringLiteral("Scanform"));
    RestorePlacement(Shape1, s, QStringLiteral("Shape1"));
    FitFormOnScreen(this);

    // An empty or missing value leaves the control as it is. Setting a value
    // runs the control's own handler through its signal.
    auto read = [&](const char *name, const std::function<void(const QString &)> &apply) {
        const QString v = s.value(KeyPrefix + QLatin1String(name));
        if (!v.isEmpty())
            apply(v);
    };
    auto text = [&](const char *name, TextSpinEdit *spin) {
        read(name, [spin](const QString &v) { spin->setText(v); });
    };
    auto check = [&](const char *name, QCheckBox *box) {
        read(name, [box](const QString &v) { box->setChecked(v == QLatin1String("true")); });
    };

    text("dpi", ui->dpi);
    text("dpiachter", ui->dpiachter);
    text("akol", ui->akol);
    read("doelmap", [this](const QString &v) { ui->doelmap->setText(v); });
    read("fnedit", [this](const QString &v) { ui->fnedit->setText(v); });
    text("numdig", ui->numdig);
    text("witrandspin", ui->witrandspin);
    read("achterkantgroep", [this](const QString &v) { ui->achterkantgroep->setItemIndex(TextToInt(v)); });
    read("TrackBar1", [this](const QString &v) { ui->TrackBar1->setValue(TextToInt(v)); });
    read("bestandstype", [this](const QString &v) {
        QComboBox *c = ui->bestandstype;
        const int i = c->findText(v, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (i >= 0) {
            c->setCurrentIndex(i);
        } else {
            // A typed extension that is no item: no item selected, the text as typed.
            c->setCurrentIndex(-1);
            c->setEditText(v);
        }
    });
    text("maxmagspin", ui->maxmagspin);
    text("maxmagperregelspin", ui->maxmagperregelspin);
    text("kleurgrensspin", ui->kleurgrensspin);
    check("metui", ui->metui);
    check("herstart", ui->herstart);
    check("startmetscan", ui->startmetscan);
    check("altijdfnvraag", ui->altijdfnvraag);
    check("maakachtergrondwitcheck", ui->maakachtergrondwitcheck);
    check("bidprentmode", ui->bidprentmode);
    check("gelijkachterkant", ui->gelijkachterkant);
    read("achtergrondkleur", [this](const QString &v) { ui->achtergrondkleur->setColour(TextToInt(v)); });
    read("vakkleur", [this](const QString &v) { ui->vakkleur->setColour(TextToInt(v)); });
    check("kaartenrechtzetten", ui->kaartenrechtzetten);
    check("lossekanten", ui->lossekanten);
    check("tekstachterkantlezen", ui->tekstachterkantlezen);
    read("ocrtaal", [this](const QString &v) {
        const int i = ui->ocrtaal->findData(v);
        if (i >= 0)
            ui->ocrtaal->setCurrentIndex(i);
    });

    // A restart may still be writing the last scan.
    for (int i = 0; i < 4; ++i) {
        const QFileInfo fi(PreviewFilePath);
        if (fi.exists() && fi.size() > 0)
            break;
        outside().sleepMs(1000);
    }

    const QFileInfo preview(PreviewFilePath);
    if (ui->startmetscan->isChecked() && preview.exists() && preview.size() > 0) {
        QImage last;
        // Through the scan loader: a 600-dpi page is above Qt's default load limit.
        if (!LoadScanPicture(last, PreviewFilePath) || last.isNull()) {
            // Only a damaged file goes; a scan this machine cannot hold stays.
            if (PictureTooLargeForMemory(PreviewFilePath))
                ShowNotice(TooLargeNotice(PreviewFilePath));
            else
                QFile::remove(PreviewFilePath);
            return;
        }
        setPicture(last);
        FitPreview();
        MakeBitmap24(picture());
        pictureChanged();
        cleanScan = picture();
        scanTime = preview.lastModified();
        ShowScanPresentLayout();
        backSidePass = false;
        frontBoxCount = 0;
    }
}

void TScanform::StoreScanSettings()
{
    if (!useSettings || !settings)
        return;
    SettingsList &s = *settings;
    StorePlacement(this, s, QStringLiteral("Scanform"));
    StorePlacement(Shape1, s, QStringLiteral("Shape1"));

    auto put = [&](const char *name, const QString &value) { s.setValue(KeyPrefix + QLatin1String(name), value); };
    put("dpi", ui->dpi->text());
    put("dpiachter", ui->dpiachter->text());
    put("doelmap", ui->doelmap->text());
    put("fnedit", ui->fnedit->text());
    put("numdig", ui->numdig->text());
    put("akol", ui->akol->text());
    put("kleurgrensspin", ui->kleurgrensspin->text());
    put("witrandspin", ui->witrandspin->text());
    put("maxmagspin", ui->maxmagspin->text());
    put("maxmagperregelspin", ui->maxmagperregelspin->text());
    put("achterkantgroep", IntToText(ui->achterkantgroep->itemIndex()));
    put("TrackBar1", IntToText(ui->TrackBar1->value()));
    put("metui", boolText(ui->metui->isChecked()));
    put("herstart", boolText(ui->herstart->isChecked()));
    put("bidprentmode", boolText(ui->bidprentmode->isChecked()));
    put("altijdfnvraag", boolText(ui->altijdfnvraag->isChecked()));
    put("gelijkachterkant", boolText(ui->gelijkachterkant->isChecked()));
    put("maakachtergrondwitcheck", boolText(ui->maakachtergrondwitcheck->isChecked()));
    put("startmetscan", boolText(ui->startmetscan->isChecked()));
    put("achtergrondkleur", IntToText(ui->achtergrondkleur->colour()));
    put("vakkleur", IntToText(ui->vakkleur->colour()));
    put("bestandstype", ui->bestandstype->currentText());
    // Added later than the keys above, so that older settings files read the same.
    put("kaartenrechtzetten", boolText(ui->kaartenrechtzetten->isChecked()));
    put("lossekanten", boolText(ui->lossekanten->isChecked()));
    put("tekstachterkantlezen", boolText(ui->tekstachterkantlezen->isChecked()));
    put("ocrtaal", ui->ocrtaal->currentData().toString());

    // Keep the last scan for the next start, without the boxes drawn on it.
    if (picture().width() > 0) {
        if (cleanScan.width() > 0)
            setPicture(cleanScan);
        try {
            SavePictureFile(picture(), PreviewFilePath, 100, 0);
        } catch (...) {
        }
    }
}
