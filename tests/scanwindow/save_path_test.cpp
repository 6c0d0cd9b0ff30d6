// File types and names that would lead a save out of its target folder.
#include "scan_fixture.h"

#include "common/settings_list.h"
#include "fakes/file_bytes.h"
#include "scanwindow/file_naming.h"

TEST(SavePathTest, OnlyExtensionsAreTypesAndEveryPathStaysInItsFolder)
{
    for (const QString type : {".JPG", ".tif", ".jpeg2000", ""})
        EXPECT_TRUE(IsFileType(type)) << type.toStdString();
    for (const QString type : {"JPG", ".", "..", ".J/G", "/../../victim.JPG", ".JPG ", ".jp g", ".\u00e9", ".JPG\n",
                               ".abcdefghijk"})
        EXPECT_FALSE(IsFileType(type)) << type.toStdString();
    struct Case {
        QString name, type, path;
    };
    const std::vector<Case> cases = {
        {"kaart001", ".JPG", "/w/out/kaart001.JPG"},
        {" scan .old", ".TIF", "/w/out/scan.TIF"},
        {"a/../b.x", ".JPG", "/w/out/b.JPG"},   // the same file for the look and the write
        {"../victim", ".JPG", "/w/out/..JPG"},  // the part before the last dot: no way out
        {"../victim.x", ".JPG", ""},
        {"document", "/../../victim.JPG", ""},
        {"../../victim.JPG", "", ""},
        {"..", "", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SavePath("/w/out/", c.name, c.type), c.path) << c.name.toStdString() << c.type.toStdString();
}

TEST_F(ScanWindowTest, HostileTypeOrName_ShouldSaveNothingAndAskNothing)
{
    const QString w = program.folder() + "w", folder = w + "/out", victim = w + "/victim.JPG";
    struct Case {
        QString type, name;
        bool series;
    };
    const Case cases[] = {
        {"/../../victim.JPG", "document", false}, {"/../../victim.JPG", "kaart001", true},
        {".JPG", "../victim.x", false},           {".JPG", "../victim.x", true},
        {"", "../victim.JPG", false},             {".JPG/..", "kaart", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.type + " " + c.name).toStdString());
        PrepareSeries(ui(), folder, c.name);
        ui().bidprentmode->setChecked(c.series);
        ui().bestandstype->setEditText(c.type);
        writeAll(victim, "oud");
        form->setPicture(quarters(40, 30));
        probe().boxes() = {ScanBox{0, 0, 20, 15}, ScanBox{20, 15, 40, 30}};
        const size_t before = prompts.transcript().size();
        form->SaveClick(ui().save);
        ASSERT_EQ(prompts.transcript().size(), before + 1);
        EXPECT_EQ(prompts.transcript().back().kind, "notice");
        EXPECT_TRUE(prompts.transcript().back().text.endsWith(c.name + " niet opgeslagen."));
        EXPECT_EQ(readAll(victim), "oud");
        EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        EXPECT_EQ(ui().fnedit->text(), c.name);
    }
    // A name that comes back into the folder asks before it overwrites, as any other.
    writeAll(folder + "/b.JPG", "oud");
    PrepareSeries(ui(), folder, "a/../b.x");
    ui().bidprentmode->setChecked(false);
    prompts.answerNo();
    prompts.answerCancel();
    form->SaveClick(ui().save);
    EXPECT_EQ(prompts.transcript().back().value, folder + "/b.JPG");
    EXPECT_EQ(readAll(folder + "/b.JPG"), "oud");

    // A settings file cannot hand the window such a type.
    SettingsList settings;
    settings.setValue("scandocformbestandstype", "/../../victim.JPG");
    probe().useSettings(&settings);
    form->LoadScanSettings();
    EXPECT_EQ(ui().bestandstype->currentText(), ".JPG");
}
