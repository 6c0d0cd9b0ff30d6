// The scan window's settings: each key once, read and written from one table.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/outside.h"
#include "common/settings_list.h"
#include "dialogs/messages.h"
#include "dialogs/placement.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/last_scan.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace {

const QString kKeyPrefix = QStringLiteral("scandocform");

// How a key's value stands for the state of its control.
enum class Kind {
    Text,       // spin edit or edit: the text as it stands
    Check,      // check box: "true" or "false"; only "true" checks it
    Index,      // radio group: the item index
    Position,   // track bar: the position
    Colour,     // colour panel: the colour as a number
    TypedItem,  // file type: an item's text, or an extension as typed
    CodeItem,   // language: the code of the chosen item
};

// A key names its control (the component of the same name); the two places
// are its turn when the settings are read and when they are written.
struct SettingKey {
    const char *name;
    Kind kind;
    int readPlace;
    int writePlace;
};

// The last keys came later: they are last in both orders, so that older
// settings files read the same.
const SettingKey kSettingKeys[] = {
    {"dpi", Kind::Text, 0, 0},
    {"dpiachter", Kind::Text, 1, 1},
    {"akol", Kind::Text, 2, 5},
    {"doelmap", Kind::Text, 3, 2},
    {"fnedit", Kind::Text, 4, 3},
    {"numdig", Kind::Text, 5, 4},
    {"witrandspin", Kind::Text, 6, 7},
    {"achterkantgroep", Kind::Index, 7, 10},
    {"TrackBar1", Kind::Position, 8, 11},
    {"bestandstype", Kind::TypedItem, 9, 21},
    {"maxmagspin", Kind::Text, 10, 8},
    {"maxmagperregelspin", Kind::Text, 11, 9},
    {"kleurgrensspin", Kind::Text, 12, 6},
    {"metui", Kind::Check, 13, 12},
    {"herstart", Kind::Check, 14, 13},
    {"startmetscan", Kind::Check, 15, 18},
    {"altijdfnvraag", Kind::Check, 16, 15},
    {"maakachtergrondwitcheck", Kind::Check, 17, 17},
    {"bidprentmode", Kind::Check, 18, 14},
    {"gelijkachterkant", Kind::Check, 19, 16},
    {"achtergrondkleur", Kind::Colour, 20, 19},
    {"vakkleur", Kind::Colour, 21, 20},
    {"kaartenrechtzetten", Kind::Check, 22, 22},
    {"lossekanten", Kind::Check, 23, 23},
    {"tekstachterkantlezen", Kind::Check, 24, 24},
    {"ocrtaal", Kind::CodeItem, 25, 25},
    {"slimzoeken", Kind::Check, 26, 26},
    {"kaartgegevens", Kind::Check, 27, 27},
    {"naamuitkaartgegevens", Kind::Check, 28, 28},
    {"kaartnaampatroon", Kind::Text, 29, 29},
};

// The keys in one of the two orders.
std::vector<SettingKey> keysBy(int SettingKey::*place)
{
    std::vector<SettingKey> keys(std::begin(kSettingKeys), std::end(kSettingKeys));
    std::sort(keys.begin(), keys.end(), [place](const SettingKey &a, const SettingKey &b) { return a.*place < b.*place; });
    return keys;
}

QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

QString valueOf(QWidget *control, Kind kind)
{
    switch (kind) {
    case Kind::Text:
        if (auto *spin = qobject_cast<TextSpinEdit *>(control))
            return spin->text();
        return static_cast<QLineEdit *>(control)->text();
    case Kind::Check: return boolText(static_cast<QCheckBox *>(control)->isChecked());
    case Kind::Index: return IntToText(static_cast<RadioGroup *>(control)->itemIndex());
    case Kind::Position: return IntToText(static_cast<QSlider *>(control)->value());
    case Kind::Colour: return IntToText(static_cast<ColourPanel *>(control)->colour());
    case Kind::TypedItem: return static_cast<QComboBox *>(control)->currentText();
    case Kind::CodeItem: return static_cast<QComboBox *>(control)->currentData().toString();
    }
    return QString();
}

// Setting a value runs the control's own handler through its signal.
void apply(QWidget *control, Kind kind, const QString &v)
{
    switch (kind) {
    case Kind::Text:
        if (auto *spin = qobject_cast<TextSpinEdit *>(control))
            spin->setText(v);
        else
            static_cast<QLineEdit *>(control)->setText(v);
        return;
    case Kind::Check: static_cast<QCheckBox *>(control)->setChecked(v == QLatin1String("true")); return;
    case Kind::Index: static_cast<RadioGroup *>(control)->setItemIndex(TextToInt(v)); return;
    case Kind::Position: static_cast<QSlider *>(control)->setValue(TextToInt(v)); return;
    case Kind::Colour: static_cast<ColourPanel *>(control)->setColour(TextToInt(v)); return;
    case Kind::TypedItem: {
        // A value that is no extension ("/../x.JPG") would lead a save out of its folder.
        if (!IsFileType(v))
            return;
        auto *c = static_cast<QComboBox *>(control);
        const int i = c->findText(v, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (i >= 0) {
            c->setCurrentIndex(i);
        } else {
            // A typed extension that is no item: no item selected, the text as typed.
            c->setCurrentIndex(-1);
            c->setEditText(v);
        }
        return;
    }
    case Kind::CodeItem: {
        auto *c = static_cast<QComboBox *>(control);
        const int i = c->findData(v);
        if (i >= 0)
            c->setCurrentIndex(i);
        return;
    }
    }
}

QWidget *controlOf(const QWidget &form, const SettingKey &key)
{
    auto *control = form.findChild<QWidget *>(QLatin1String(key.name));
    Q_ASSERT(control);
    return control;
}

}

void TScanform::LoadScanSettings()
{
    if (!useSettings || !settings)
        return;
    RestorePlacement(this, *settings, QStringLiteral("Scanform"));
    RestorePlacement(Shape1, *settings, QStringLiteral("Shape1"));
    FitFormOnScreen(this);

    // An empty or missing value leaves the control as it is.
    for (const SettingKey &key : keysBy(&SettingKey::readPlace)) {
        const QString v = settings->value(kKeyPrefix + QLatin1String(key.name));
        if (!v.isEmpty())
            apply(controlOf(*this, key), key.kind, v);
    }

    // The last scan is read beside the window, which shows at once; a restart
    // may still be writing it, so it is waited for there.
    delete findChild<LastScanReader *>();   // an earlier run's
    new LastScanReader(PreviewFilePath, ui->startmetscan->isChecked(), [this](const LastScan &scan) {
        if (!scan.why.isEmpty()) {
            ShowNotice(scan.why);
            return;
        }
        // A scan made or a picture opened meanwhile stays.
        if (scan.picture.isNull() || picture().width() > 0)
            return;
        setPicture(scan.picture);
        FitPreview();
        MakeBitmap24(picture());
        pictureChanged();
        cleanScan = picture();
        scanTime = QFileInfo(PreviewFilePath).lastModified();
        ShowScanPresentLayout();
        backSidePass = false;
        frontBoxCount = 0;
    }, this);
}

void TScanform::StoreScanSettings()
{
    if (!useSettings || !settings)
        return;
    // A last scan still on its way is not shown any more.
    if (auto *reader = findChild<LastScanReader *>())
        reader->finish();
    StorePlacement(this, *settings, QStringLiteral("Scanform"));
    StorePlacement(Shape1, *settings, QStringLiteral("Shape1"));
    for (const SettingKey &key : keysBy(&SettingKey::writePlace))
        settings->setValue(kKeyPrefix + QLatin1String(key.name), valueOf(controlOf(*this, key), key.kind));

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
