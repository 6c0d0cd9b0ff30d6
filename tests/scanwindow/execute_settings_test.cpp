// The modal run of the scan window and its settings.
#include "scan_fixture.h"

#include "fakes/file_bytes.h"

#include "common/filez.h"
#include "common/locations.h"
#include "common/settings_list.h"
#include "imaging/picture_file.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/last_scan.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTimer>

namespace {

QString document(const QString &) { return "document.txt"; }

struct RunSeen {
    bool result = false;
    int tracked = -1;       // TrackBar1 while the window was shown
    QString doelmap, fnedit;
};

}

class ExecuteTest : public ScanWindowTest {
protected:
    // Runs Execute; while the window is "shown" act runs, then the window ends with result.
    RunSeen execute(ModalResult modalResult = ModalResult::Ok, std::function<void()> act = {})
    {
        RunSeen run;
        prompts.answer({modalResult, {}, {}, [&](QDialog &) {
                            run.tracked = ui().TrackBar1->value();
                            run.doelmap = ui().doelmap->text();
                            run.fnedit = ui().fnedit->text();
                            if (act)
                                act();
                        }});
        run.result = form->Execute(document, NextFileName, [](const QString &, const QString &, bool) { return true; },
                                   QString(), QString(), 90, &settings, true);
        return run;
    }

    // The last scan arrives beside the shown window: its events are let in until it did.
    void waitForLastScan()
    {
        const LastScanReader *reader = form->findChild<LastScanReader *>();
        while (reader && !reader->settled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    SettingsList settings;
};

TEST_F(ExecuteTest, FirstStart_ShouldUseLayoutDefaults_AndWaitFourSecondsForThePreviewFile)
{
    RunSeen run = execute();
    EXPECT_TRUE(run.result);
    EXPECT_EQ(run.doelmap, program.folder());
    EXPECT_EQ(run.fnedit, "document");
    EXPECT_EQ(run.tracked, 90);
    EXPECT_EQ(outsideWorld.sleeps, (QList<int>{1000, 1000, 1000, 1000}));
}

TEST_F(ExecuteTest, SettingsFile_ShouldBeWrittenInItsFixedForm_AndReadBackByteForByte)
{
    // Every key in the order written: what a first start writes, then a value
    // of the user's that a new window must read and write back unchanged.
    const struct {
        const char *key;
        QString first, own;
    } rows[] = {
        {"dpi", "600", "1200"},
        {"dpiachter", "300", "150"},
        {"doelmap", program.folder(), program.folder() + "kaarten"},
        {"fnedit", "document", "kaart007"},
        {"numdig", "3", "4"},
        {"akol", "0", "2"},
        {"kleurgrensspin", "3", "9"},
        {"witrandspin", "2", "5"},
        {"maxmagspin", "50", "80"},
        {"maxmagperregelspin", "5", "7"},
        {"achterkantgroep", "0", "1"},
        {"TrackBar1", "90", "90"},   // Execute's quality argument wins
        {"metui", "true", "false"},
        {"herstart", "false", "true"},
        {"bidprentmode", "false", "true"},
        {"altijdfnvraag", "false", "true"},
        {"gelijkachterkant", "false", "true"},
        {"maakachtergrondwitcheck", "false", "true"},
        {"startmetscan", "false", "false"},
        {"achtergrondkleur", "16777215", "12632256"},
        {"vakkleur", "255", "65280"},
        {"bestandstype", ".JPG", ".TIF"},
        {"kaartenrechtzetten", "false", "true"},
        {"lossekanten", "false", "true"},
        {"tekstachterkantlezen", "false", "true"},
        {"ocrtaal", "nld", "deu"},
        {"slimzoeken", "false", "true"},
        {"kaartgegevens", "false", "true"},
        {"naamuitkaartgegevens", "false", "true"},
        {"kaartnaampatroon", "{achternaam}_{voornamen}_{geboortedatum}_{overlijdensdatum}", "{achternaam} {overlijdensdatum}"},
    };
    auto expected = [&](bool own) {
        QString text = QStringLiteral("Scanform_top=%1\nScanform_left=%2\nScanform_width=768\n"
                                      "Scanform_height=702\nShape1_top=0\nShape1_left=0\n"
                                      "Shape1_width=%3\nShape1_height=%4\n")
                           .arg(form->y()).arg(form->x())   // where the screen lets the window be
                           .arg(ui().Panel1->width()).arg(ui().Panel1->height());
        for (const auto &row : rows)
            text += QStringLiteral("scandocform%1=%2\n").arg(row.key, own ? row.own : row.first);
        return text.toStdString();
    };
    execute();
    EXPECT_EQ(settings.toBytes().toStdString(), expected(false));

    makeForm();
    settings.loadFromBytes(QByteArray::fromStdString(expected(true)));
    execute();
    EXPECT_EQ(settings.toBytes().toStdString(), expected(true));
}

TEST_F(ExecuteTest, StoredValues_ShouldSetTheirControlsByKind_AsTheRunThenWritesThemBack)
{
    const struct {
        const char *key, *stored, *written;
    } cases[] = {
        {"metui", "True", "false"},           // only lower-case "true" checks
        {"herstart", "true", "true"},
        {"altijdfnvraag", "yes", "false"},
        {"dpi", "", "600"},                   // empty: the layout default stays
        {"achterkantgroep", "x", "0"},        // a non-number index, position or colour is 0
        {"vakkleur", "rood", "0"},
        {"dpiachter", "abc", "abc"},          // texts stay as they are
        {"kleurgrensspin", "veel", "veel"},
    };
    for (const auto &c : cases)
        settings.setValue(QStringLiteral("scandocform") + c.key, c.stored);
    execute();
    for (const auto &c : cases)
        EXPECT_EQ(settings.value(QStringLiteral("scandocform") + c.key), c.written) << c.key;
}

TEST_F(ExecuteTest, InstalledProgram_ShouldOfferAKVNscanFolderInThePicturesFolder_NotItsSettingsFolder)
{
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", program.path("home").toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(QDir().mkpath(program.path("home/Pictures")) && QDir().mkpath(program.path("usr/share/kvnscan")));
    ASSERT_TRUE(QDir().mkpath(program.path("usr/bin")));
    Locations::overrideExecutablePath(program.path("usr/bin/KVNscan"));
    const RunSeen run = execute();
    Locations::overrideExecutablePath(program.path("KVNscan"));
    qputenv("HOME", oldHome);
    if (!oldConfig.isNull())
        qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_EQ(run.doelmap, program.path("home/Pictures/KVNscan/"));
}

TEST_F(ExecuteTest, QualityArgument_ShouldReplaceTheStoredTrackBarPosition)
{
    settings.setValue("scandocformTrackBar1", "40");
    RunSeen run = execute();
    EXPECT_EQ(run.tracked, 90);
    EXPECT_EQ(settings.value("scandocformTrackBar1"), "90");

    // A moved bar is what gets written.
    execute(ModalResult::Ok, [&] { ui().TrackBar1->setValue(55); });
    EXPECT_EQ(settings.value("scandocformTrackBar1"), "55");
}

TEST_F(ExecuteTest, Settings_ShouldSurviveARunUnchanged_AndLoadTheSameInANewWindow)
{
    const QList<QPair<QString, QString>> values = {
        {"scandocformdpi", "1200"}, {"scandocformdpiachter", "150"}, {"scandocformdoelmap", program.folder() + "kaarten"},
        {"scandocformfnedit", "kaart007"}, {"scandocformnumdig", "4"}, {"scandocformakol", "2"},
        {"scandocformkleurgrensspin", "9"}, {"scandocformwitrandspin", "5"}, {"scandocformmaxmagspin", "80"},
        {"scandocformmaxmagperregelspin", "7"}, {"scandocformachterkantgroep", "1"},
        {"scandocformmetui", "false"}, {"scandocformherstart", "true"},
        {"scandocformaltijdfnvraag", "true"}, {"scandocformgelijkachterkant", "true"},
        {"scandocformmaakachtergrondwitcheck", "true"}, {"scandocformstartmetscan", "false"},
        {"scandocformachtergrondkleur", "12632256"}, {"scandocformvakkleur", "65280"},
        {"scandocformbestandstype", ".TIF"}, {"scandocformbidprentmode", "true"}};
    for (const auto &kv : values)
        settings.setValue(kv.first, kv.second);
    settings.setValue("Shape1_left", "20");
    settings.setValue("Shape1_top", "30");
    settings.setValue("Shape1_width", "200");
    settings.setValue("Shape1_height", "100");

    execute();
    for (const auto &kv : values)
        EXPECT_EQ(settings.value(kv.first), kv.second) << kv.first.toStdString();
    EXPECT_EQ(ui().Shape1->geometry(), QRect(20, 30, 200, 100));

    makeForm();
    execute(ModalResult::Ok, [&] {
        EXPECT_EQ(ui().fnedit->text(), "kaart007");
        EXPECT_EQ(ui().numdig->text(), "4");
        EXPECT_EQ(ui().achterkantgroep->itemIndex(), 1);
        EXPECT_EQ(ui().bestandstype->currentText(), ".TIF");
        EXPECT_EQ(ui().achtergrondkleur->colour(), 12632256);
        EXPECT_FALSE(ui().metui->isChecked());
        // Loading runs the controls' own handlers.
        EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: kaart0008");   // numdig is read last
        EXPECT_FALSE(ui().Panel2->isHidden());
    });
    for (const auto &kv : values)
        EXPECT_EQ(settings.value(kv.first), kv.second) << kv.first.toStdString();
}

TEST_F(ExecuteTest, WindowEnd_ShouldGiveTrueForSluiten_FalseForTheCloseBox_AndStoreBoth)
{
    prompts.answer({ModalResult::Ok, {}, {}, [&](QDialog &) { ui().Cancelbut->click(); }});
    EXPECT_TRUE(form->Execute(document, NextFileName, {}, {}, {}, 90, &settings, true));
    EXPECT_EQ(ModalResult(form->result()), ModalResult::Ok);
    EXPECT_TRUE(settings.contains("scandocformdpi"));

    settings.clear();
    prompts.answer({ModalResult::Cancel, {}, {}, [&](QDialog &) { form->reject(); }});
    EXPECT_FALSE(form->Execute(document, NextFileName, {}, {}, {}, 90, &settings, true));
    EXPECT_TRUE(settings.contains("scandocformdpi"));
}

TEST_F(ExecuteTest, EscapeKey_ShouldActAsSluiten)
{
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    form->show();
    QApplication::sendEvent(form.get(), &esc);
    EXPECT_EQ(ModalResult(form->result()), ModalResult::Ok);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ExecuteTest, WithoutUseSettings_ShouldNeitherReadNorWriteTheList)
{
    settings.setValue("scandocformfnedit", "ignored");
    prompts.answer({ModalResult::Ok, {}, {}, {}});
    form->Execute(document, NextFileName, {}, program.folder() + "doel", {}, 70, &settings, false);
    EXPECT_EQ(ui().fnedit->text(), "document");
    EXPECT_EQ(ui().doelmap->text(), program.folder() + "doel");
    EXPECT_EQ(ui().TrackBar1->value(), 70);
    EXPECT_EQ(settings.lines(), QStringList{"scandocformfnedit=ignored"});
    EXPECT_TRUE(outsideWorld.sleeps.isEmpty());
}

TEST_F(ExecuteTest, NoScannerAvailable_ShouldOfferSourceSelectionBeforeShowing)
{
    scanner.available = 0;
    execute();
    EXPECT_TRUE(scanner.calls.contains("SelectImageSource"));
}

TEST_F(ExecuteTest, StartWithLastScan_ShouldShowThePictureFittedWithTheScanPresentLayout)
{
    ASSERT_TRUE(quarters(400, 200).save(PreviewFilePath, "BMP"));
    settings.setValue("scandocformstartmetscan", "true");
    execute(ModalResult::Ok, [&] {
        // The window shows before the last scan is read.
        EXPECT_TRUE(form->picture().isNull());
        waitForLastScan();
        EXPECT_EQ(form->picture().size(), QSize(400, 200));
        EXPECT_EQ(form->picture().format(), QImage::Format_BGR888);
        EXPECT_EQ(probe().cleanScan(), form->picture());
        EXPECT_TRUE(ui().save->isEnabled());
        EXPECT_EQ(ui().Scanbut->width(), 75);
        EXPECT_FALSE(probe().backSidePass());
        // Fitted: as wide as the panel, proportions kept.
        EXPECT_EQ(ui().Image1->width(), ui().Panel1->width());
        EXPECT_EQ(ui().Image1->height(), ui().Panel1->width() / 2);
    });
    EXPECT_TRUE(outsideWorld.sleeps.isEmpty());
}

TEST_F(ExecuteTest, StartWithLastScan_ShouldOpenAnA4PageScannedAt600Dpi)
{
    // Above Qt's default load limit (128 MB as 32-bit pixels); must not be lost.
    QImageReader::setAllocationLimit(128);
    QImage page(5102, 7016, QImage::Format_BGR888);
    page.fill(QColor(250, 240, 230));
    ASSERT_TRUE(page.save(PreviewFilePath, "BMP"));
    settings.setValue("scandocformstartmetscan", "true");
    execute(ModalResult::Ok, [&] {
        waitForLastScan();
        EXPECT_EQ(form->picture().size(), QSize(5102, 7016));
    });
    EXPECT_TRUE(QFileInfo::exists(PreviewFilePath));
}

TEST_F(ExecuteTest, StartWithLastScan_ShouldSayWhyAnUnreadablePreviewFileIsNotShown_AndRemoveIt)
{
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    quarters(40, 30).save(&png, "PNG");
    QBuffer bmp;
    bmp.open(QIODevice::WriteOnly);
    quarters(40, 30).save(&bmp, "BMP");
    const struct {
        const char *what;
        QByteArray bytes;
        QString reason;
    } cases[] = {
        {"text", "not a picture at all", "het bestand is beschadigd"},
        {"png cut short", png.data().left(100), "het bestand is beschadigd"},
        {"bmp without its header", bmp.data().left(20), "het bestand is beschadigd"},
    };
    for (const auto &c : cases) {
        writeAll(PreviewFilePath, c.bytes);
        settings.setValue("scandocformstartmetscan", "true");
        const int before = prompts.texts().size();
        execute(ModalResult::Ok, [&] {
            waitForLastScan();
            EXPECT_TRUE(form->picture().isNull()) << c.what;
            EXPECT_FALSE(ui().save->isEnabled()) << c.what;
        });
        EXPECT_FALSE(QFileInfo::exists(PreviewFilePath)) << c.what;
        ASSERT_EQ(prompts.texts().size(), before + 2) << c.what;   // the window, then the notice
        EXPECT_EQ(prompts.texts().last(), "De laatste scan [" + PreviewFilePath + "] is niet getoond: " + c.reason
                                              + ". Het bestand is verwijderd.")
            << prompts.texts().last().toStdString();
    }
}

TEST_F(ExecuteTest, StartWithLastScan_TooBigForThisMachine_ShouldKeepTheFileWithANotice)
{
    SetPictureByteLimit(qint64(2) << 20);
    ASSERT_TRUE(plain(1000, 1000, Qt::white).save(PreviewFilePath, "BMP"));
    settings.setValue("scandocformstartmetscan", "true");
    execute(ModalResult::Ok, [&] {
        waitForLastScan();
        EXPECT_TRUE(form->picture().isNull());
    });
    SetPictureByteLimit(0);
    EXPECT_TRUE(QFileInfo::exists(PreviewFilePath));
    EXPECT_EQ(prompts.texts().last(), TooLargeNotice(PreviewFilePath));
}

TEST_F(ExecuteTest, RunEnd_ShouldKeepTheCleanScanWithoutDrawingsAsPreviewFile)
{
    execute(ModalResult::Ok, [&] {
        probe().cleanScan() = plain(30, 20, Qt::white);
        QImage drawn = plain(30, 20, Qt::white);
        drawn.setPixelColor(5, 5, Qt::red);   // a box drawn on the preview
        form->setPicture(drawn);
    });
    QImage kept(PreviewFilePath);
    ASSERT_FALSE(kept.isNull());
    EXPECT_EQ(kept.size(), QSize(30, 20));
    EXPECT_EQ(kept.pixelColor(5, 5), QColor(Qt::white));
}

TEST_F(ExecuteTest, RunEnd_WithoutAPicture_ShouldWriteNoPreviewFile)
{
    execute();
    EXPECT_FALSE(QFileInfo::exists(PreviewFilePath));
}

TEST_F(ExecuteTest, SettingsFileThatIsALink_ShouldBeRefusedWithANotice_AndLeaveWhatItNamesAlone)
{
    const QByteArray system = "root:x:0:0\n";
    writeAll(program.path("passwd"), system);
    ASSERT_TRUE(QFile::link(program.path("passwd"), SettingsFileName()));
    settings.loadFromFile(SettingsFileName());
    execute();
    EXPECT_FALSE(SaveSettingsAtEnd(settings));
    EXPECT_EQ(readAll(program.path("passwd")), system);
    EXPECT_TRUE(QFileInfo(SettingsFileName()).isSymLink());
    EXPECT_EQ(prompts.texts().last(), "De instellingen zijn niet bewaard: kon [" + SettingsFileName()
                                          + "] niet schrijven (aanmaken mislukt: het is een symbolische koppeling).");
}

// ------------------------------------------------------------------ creation

TEST_F(ScanWindowTest, FormCreate_ShouldWriteTheCarriedLibrary_AndSetUpTheWindow)
{
    EXPECT_TRUE(QFileInfo::exists(program.path("eztw32.dll")));
    EXPECT_TRUE(probe().scannerSetUp());
    EXPECT_EQ(ui().scanachterkant->text(), "Scan\r\nachterkant");
    EXPECT_FALSE(ui().scanachterkant->isEnabled());
    EXPECT_FALSE(ui().dpi->isHidden());
    EXPECT_FALSE(ui().dpiachterlabel->isHidden());
    EXPECT_EQ(ui().Shape1->geometry(), QRect(QPoint(0, 0), ui().Panel1->size()));
    EXPECT_TRUE(ui().help->isHidden());   // no help file in the folder yet
}

TEST_F(ScanWindowTest, FormCreate_ShouldShowHelpWithAHelpFile_AndHideResolutionsBelowVersion114)
{
    QFile chm(program.path("kvnscan.chm"));
    ASSERT_TRUE(chm.open(QIODevice::WriteOnly));
    chm.close();
    scanner.version = 113;
    makeForm();
    EXPECT_FALSE(ui().help->isHidden());
    EXPECT_TRUE(ui().dpilabel->isHidden());
    EXPECT_TRUE(ui().dpi->isHidden());
    EXPECT_TRUE(ui().dpiachter->isHidden());
}

TEST_F(ScanWindowTest, Layout_ShouldHoldTheDefaultsOfTheControls)
{
    EXPECT_EQ(form->size(), QSize(768, 702));
    EXPECT_EQ(form->minimumSize(), QSize(595, 600));
    EXPECT_EQ(ui().knoppanel->height(), 65);
    EXPECT_EQ(ui().fnpanel->height(), 152);
    EXPECT_EQ(ui().btpanel->height(), 84);
    EXPECT_TRUE(ui().Panel2->isHidden());
    EXPECT_TRUE(ui().Testverdeling->isHidden());
    EXPECT_TRUE(ui().bidprentmode->isHidden());
    EXPECT_TRUE(ui().testmode->isHidden());
    EXPECT_TRUE(ui().openfile->isHidden());
    EXPECT_EQ(ui().Scanbut->geometry(), QRect(8, 8, 121, 49));
    EXPECT_EQ(ui().save->x(), 136);
    EXPECT_EQ(ui().save->width(), 137);
    EXPECT_EQ(ui().Cancelbut->x(), 280);
    EXPECT_EQ(ui().dpi->text(), "600");
    EXPECT_EQ(ui().dpi->maximum(), 3600);
    EXPECT_EQ(ui().dpi->singleStep(), 50);
    EXPECT_EQ(ui().numdig->maximum(), 5);
    EXPECT_EQ(ui().bestandstype->count(), 4);
    EXPECT_EQ(ui().bestandstype->itemText(3), "");
    EXPECT_EQ(ui().bestandstype->currentText(), ".JPG");
    EXPECT_EQ(ui().TrackBar1->value(), 90);
    EXPECT_EQ(ui().TrackBar1->tickInterval(), 5);
    EXPECT_EQ(ui().achterkantgroep->title(), "Achterkant:");
    EXPECT_EQ(ui().achterkantgroep->itemIndex(), 0);
    EXPECT_EQ(ui().achtergrondkleur->colour(), 16777215);
    EXPECT_EQ(ui().vakkleur->colour(), 255);
    EXPECT_TRUE(ui().metui->isChecked());
    EXPECT_TRUE(ui().zetdoor->isChecked());
    EXPECT_EQ(probe().timer()->interval(), 1000);
    EXPECT_TRUE(probe().timer()->isActive());
    EXPECT_FALSE(ui().BitBtn1->icon().isNull());
    EXPECT_FALSE(ui().BitBtn3->icon().isNull());
}
