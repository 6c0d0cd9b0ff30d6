// The library's own windows: the device's options as widgets, the scanner
// choice with its searching state, and both as the user meets them in a scan.
#include "fake_sane.h"
#include "scanner/bridge/bridge.h"
#include "scanner/bridge/options_dialog.h"
#include "scanner/bridge/source_dialog.h"
#include "scanner/bridge/virtual_scanner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <thread>

namespace {

void addOptions(FakeDevice &dev)
{
    dev.addGroup("Standaard");
    dev.addBool("preview", false);
    dev.addInt(SANE_NAME_SCAN_RESOLUTION, 150, SANE_UNIT_DPI).withRange(50, 600, 50);
    dev.addInt("depth", 8, SANE_UNIT_BIT).withWordList({1, 8, 16});
    dev.addFixed("brightness", 1.5, SANE_UNIT_PERCENT);
    dev.addString("mode", "Gray", {"Gray", "Color"});
    dev.addButton("calibrate");
    FakeOption &gamma = dev.addInt("gamma-table", 0);
    gamma.desc.size = 4 * sizeof(SANE_Word);
    gamma.words = {1, 2, 3, 4};
    dev.addInt("hidden", 1).desc.cap |= SANE_CAP_INACTIVE;
}

} // namespace

TEST(OptionsDialog, EachOptionTypeGetsItsWidgetAndSetsTheDevice)
{
    FakeDevice dev;
    addOptions(dev);
    OptionsDialog dialog(dev, "Test");
    auto *preview = dialog.findChild<QCheckBox *>("preview");
    auto *res = dialog.findChild<QWidget *>(SANE_NAME_SCAN_RESOLUTION);
    auto *depth = dialog.findChild<QWidget *>("depth");
    auto *mode = dialog.findChild<QWidget *>("mode");
    ASSERT_TRUE(preview && res && depth && mode);
    EXPECT_TRUE(dialog.findChild<QPushButton *>("calibrate"));
    EXPECT_FALSE(dialog.findChild<QWidget *>("hidden"));       // inactive
    EXPECT_FALSE(dialog.findChild<QWidget *>("gamma-table"));  // arrays stay the device's

    auto *spin = res->findChild<QDoubleSpinBox *>();
    ASSERT_TRUE(spin);
    EXPECT_EQ(spin->suffix(), " dpi");
    EXPECT_EQ(spin->minimum(), 50);
    EXPECT_EQ(spin->singleStep(), 50);
    EXPECT_EQ(spin->value(), 150);
    auto *bright = dialog.findChild<QWidget *>("brightness")->findChild<QDoubleSpinBox *>();
    EXPECT_DOUBLE_EQ(bright->value(), 1.5);

    auto *depthBox = depth->findChild<QComboBox *>();
    ASSERT_TRUE(depthBox);
    EXPECT_EQ(depthBox->count(), 3);
    EXPECT_EQ(depthBox->currentText(), "8 bit");

    preview->setChecked(true);
    EXPECT_EQ(dev.option("preview").words[0], SANE_TRUE);
    spin->setValue(300);
    EXPECT_EQ(dev.option(SANE_NAME_SCAN_RESOLUTION).words[0], 300);
    depthBox->setCurrentIndex(2);
    emit depthBox->activated(2);
    EXPECT_EQ(dev.option("depth").words[0], 16);
    auto *modeBox = mode->findChild<QComboBox *>();
    modeBox->setCurrentIndex(1);
    emit modeBox->textActivated("Color");
    EXPECT_EQ(dev.option("mode").text, "Color");
    dialog.findChild<QPushButton *>("calibrate")->click();
    EXPECT_EQ(dev.calls.back(), "set calibrate");
}

TEST(OptionsDialog, ReloadsWhenTheDeviceSaysOptionsChanged)
{
    FakeDevice dev;
    addOptions(dev);
    FakeOption &mode = dev.option("mode");
    mode.infoOnSet = SANE_INFO_RELOAD_OPTIONS;
    mode.onSet = [&dev] {
        const bool colour = dev.option("mode").text == "Color";
        FakeOption &hidden = dev.option("hidden");
        hidden.desc.cap = colour ? (hidden.desc.cap & ~SANE_CAP_INACTIVE) : (hidden.desc.cap | SANE_CAP_INACTIVE);
    };
    OptionsDialog dialog(dev, "Test");
    EXPECT_FALSE(dialog.findChild<QWidget *>("hidden"));
    emit dialog.findChild<QWidget *>("mode")->findChild<QComboBox *>()->textActivated("Color");
    QApplication::processEvents();
    EXPECT_TRUE(dialog.findChild<QWidget *>("hidden"));
}

TEST(SourceDialog, ShowsSearchingThenEveryScannerWithTheVirtualOneLast)
{
    FakeBackend backend;
    backend.devices = {{"fake:1", "Acme", "Flat 1", "flatbed scanner"}, {"net:2", "Beta", "Feeder", "sheetfed scanner"}};
    std::atomic<bool> release{false};
    backend.beforeSearch = [&release] {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };

    QString searching;
    QStringList rows;
    WhenShown("sourceDialog", [&](QDialog &d) {
        searching = d.findChild<QLabel *>("searchStatus")->text();
        release = true;
        auto *list = d.findChild<QTreeWidget *>("deviceList");
        auto *wait = new QTimer(&d);
        QObject::connect(wait, &QTimer::timeout, [&, list, wait, dlg = &d] {
            if (list->topLevelItemCount() == 0)
                return;
            wait->stop();
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                rows << list->topLevelItem(i)->text(0) + "|" + list->topLevelItem(i)->text(1) + "|" + list->topLevelItem(i)->text(3);
            list->setCurrentItem(list->topLevelItem(1));
            dlg->accept();
        });
        wait->start(5);
    });
    QString chosen;
    ASSERT_TRUE(RunSourceDialog(std::shared_ptr<SaneBackend>(&backend, [](SaneBackend *) {}), "fake:1", "Test", chosen));
    EXPECT_EQ(searching, "Scanners zoeken…");
    EXPECT_EQ(rows, (QStringList{"Acme|Flat 1|fake:1", "Beta|Feeder|net:2",
                                 QString("KVNscan|Voorbeeld|") + kVirtualScannerName}));
    EXPECT_EQ(chosen, "net:2");
}

// A search that fails says why, and the virtual scanner stays to choose.
TEST(SourceDialog, FailedSearchSaysWhy)
{
    FakeBackend backend;
    backend.devicesStatus = SANE_STATUS_ACCESS_DENIED;
    QString shown;
    WhenSearched(shown, [](QDialog &d) { d.accept(); });
    QString chosen;
    EXPECT_TRUE(RunSourceDialog(std::shared_ptr<SaneBackend>(&backend, [](SaneBackend *) {}), "", "Test", chosen));
    EXPECT_EQ(shown, "Zoeken naar scanners mislukt (geen toegang tot de scanner (de gebruiker heeft er geen rechten "
                     "op)); alleen de voorbeeldscanner is beschikbaar.");
    EXPECT_EQ(chosen, kVirtualScannerName);
}

TEST(SourceDialog, CancelKeepsTheEarlierChoice)
{
    QTemporaryDir dir;
    FakeBackend backend;
    Bridge bridge;
    bridge.setSourceFile(dir.filePath("eztw32.ini"));
    bridge.rememberSource("fake:1");
    bridge.setBackendFactory(FactoryOf(backend));
    WhenShown("sourceDialog", [](QDialog &d) { d.reject(); });
    EXPECT_EQ(bridge.selectImageSource(nullptr), 0);
    EXPECT_EQ(bridge.rememberedSource(), "fake:1");
    WaitForAbandonedWork();
    EXPECT_EQ(backend.enumerations, 1);  // searched only because the user asked
}

TEST(OptionsDialog, ShownBeforeTheScanUnlessHiddenAndCancelScansNothing)
{
    QTemporaryDir dir;
    Bridge bridge;
    bridge.setSourceFile(dir.filePath("eztw32.ini"));
    bridge.rememberSource(kVirtualScannerName);
    QStringList notices;
    bridge.setNoticeSink([&notices](const QString &t) { notices << t; });
    bridge.setHideUI(0);
    const QString target = dir.filePath("scan.bmp");

    WhenShown("optionsDialog", [](QDialog &d) { d.reject(); });
    EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    EXPECT_FALSE(QFile::exists(target));

    // The user picks the back side and a low resolution, then scans.
    SetVirtualScannerNextIsBack(false);
    WhenShown("optionsDialog", [](QDialog &d) {
        auto *side = d.findChild<QWidget *>("side")->findChild<QComboBox *>();
        side->setCurrentIndex(1);
        emit side->textActivated(side->currentText());
        d.findChild<QWidget *>(SANE_NAME_SCAN_RESOLUTION)->findChild<QDoubleSpinBox *>()->setValue(40);
        d.findChild<QPushButton *>("scanButton")->click();
    });
    ASSERT_NE(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    EXPECT_EQ(QImage(target).convertToFormat(QImage::Format_BGR888), VirtualScanPage(40, true));
    EXPECT_TRUE(notices.isEmpty());
}
