// The restart after saving: the script it writes, what is stored first, and who may restart.
#include "scan_fixture.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "fakes/file_bytes.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/restart_script.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ShellRun {
    int exitCode = -1;
    QByteArray output;
};

ShellRun runShell(const QStringList &args, const QString &workingFolder)
{
    QProcess sh;
    sh.setWorkingDirectory(workingFolder);
    sh.setProcessChannelMode(QProcess::MergedChannels);
    sh.start("/bin/sh", args);
    sh.waitForFinished(-1);
    return {sh.exitStatus() == QProcess::NormalExit ? sh.exitCode() : -1, sh.readAll()};
}

TEST(RestartScript, QuotesEveryPathAndEndsLinesWithLf)
{
    EXPECT_EQ(ShellQuoted("a b"), "'a b'");
    EXPECT_EQ(ShellQuoted("it's"), "'it'\\''s'");
    EXPECT_EQ(RestartScriptText("/opt/kvn scan/", "/opt/kvn scan/KVNscan"),
              "cd -- '/opt/kvn scan/' || exit 1\nexec '/opt/kvn scan/KVNscan'\n");
    // A relative program path could be taken for an option.
    EXPECT_TRUE(RestartScriptText("/x/", "-KVNscan").endsWith("exec './-KVNscan'\n"));
}

// A folder name full of shell syntax: the script must only go there and run the program.
TEST(RestartScript, NothingInAPathRunsAsACommand)
{
    QTemporaryDir tmp;
    QString base = QDir(tmp.path()).canonicalPath();
    QString folder = base + "/-n it's $(touch dollar) `touch tick` \\ $HOME\nline;touch semi/";
    ASSERT_TRUE(QDir().mkpath(folder));
    QString program = folder + "prog '$x' `touch y`";
    {
        QFile p(program);
        ASSERT_TRUE(p.open(QIODevice::WriteOnly));
        p.write("#!/bin/sh\npwd > ran.txt\n");
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QString script = base + "/kvnscan.bat";
    {
        QFile s(script);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(RestartScriptText(folder, program).toUtf8());
    }
    EXPECT_EQ(runShell({"-n", script}, base).exitCode, 0);
    ShellRun run = runShell({script}, base);
    EXPECT_EQ(run.exitCode, 0) << run.output.constData();

    // The program ran in its own folder ...
    EXPECT_EQ(QString::fromUtf8(readAll(folder + "ran.txt")), folder.chopped(1) + "\n");
    // ... and nothing else was made anywhere.
    QStringList made;
    QDirIterator it(base, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        made << QFileInfo(it.next()).fileName();
    made.sort();
    EXPECT_EQ(made, QStringList({"kvnscan.bat", "prog '$x' `touch y`", "ran.txt"}));
}

class RestartTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        folder = program.folder() + "scans";
        QDir().mkpath(folder);
        probe().nextFileName() = NextFileName;
        probe().useSettings(&settings);
        form->setPicture(quarters(40, 30));
        probe().cleanScan() = form->picture();
        ui().doelmap->setText(folder);
        ui().fnedit->setText("document");
        ui().herstart->setChecked(true);
        script = program.folder() + "kvnscan.bat";
    }
    bool started() const
    {
        for (const QString &c : outsideWorld.calls)
            if (c.startsWith("start "))
                return true;
        return false;
    }

    SettingsList settings;
    QString folder;
    QString script;
};

TEST_F(RestartTest, SaveButtonRestartsAfterStoringEverything)
{
    ui().startmetscan->setChecked(true);
    form->SaveClick(ui().save);

    EXPECT_TRUE(QFile::exists(folder + "/document.JPG"));
    EXPECT_EQ(outsideWorld.calls,
              QStringList({"start /bin/sh " + script + " in " + program.folder(), "quit"}));
    EXPECT_EQ(readAll(script),
              RestartScriptText(program.folder(), program.folder() + "KVNscan").toUtf8());
    EXPECT_FALSE(readAll(script).contains('\r'));
    EXPECT_EQ(ModalResult(form->result()), ModalResult::Ok);

    SettingsList stored;
    ASSERT_TRUE(stored.loadFromFile(SettingsFileName()));
    EXPECT_EQ(stored.value("scandocformfnedit"), "document001");
    EXPECT_EQ(stored.value("scandocformherstart"), "true");
    EXPECT_TRUE(QImage(PreviewFilePath).size() == QSize(40, 30));
}

TEST_F(RestartTest, WithoutLastScanThePreviewFileIsLeftAlone)
{
    ui().startmetscan->setChecked(false);
    QFile::remove(PreviewFilePath);
    form->StoreScanSettings();   // what the restart stores on its own
    QByteArray before = readAll(PreviewFilePath);
    form->SaveClick(ui().save);
    EXPECT_TRUE(started());
    EXPECT_EQ(readAll(PreviewFilePath), before);
}

TEST_F(RestartTest, OnlyTheSaveButtonOfTheScanToolRestarts_AndOnlyWhenAsked)
{
    const struct {
        const char *title;
        bool herstart;
        QPushButton *Ui::TScanform::*sender;   // nullptr: a series box saved without a sender
        bool restarts;
    } cases[] = {
        {"Vexlo Scan Tool", true, nullptr, false},
        {"Vexlo Scan Tool", true, &Ui::TScanform::Scanbut, false},
        {"Vexlo Scan Tool", true, &Ui::TScanform::Testverdeling, false},
        {"Vexlo", true, &Ui::TScanform::save, false},
        {"  Vexlo SCAN TOOL ", false, &Ui::TScanform::save, false},
        {"  Vexlo SCAN TOOL ", true, &Ui::TScanform::save, true},
    };
    QString name = "document";
    for (const auto &c : cases) {
        ProductTitle = c.title;
        ui().herstart->setChecked(c.herstart);
        form->SaveClick(c.sender ? ui().*c.sender : nullptr);
        EXPECT_EQ(started(), c.restarts) << c.title << " " << c.herstart;
        EXPECT_EQ(QFile::exists(script), c.restarts);
        EXPECT_TRUE(QFile::exists(folder + "/" + name + ".JPG")) << name.toStdString();
        name = NextFileName(name, 3);
        if (!c.restarts)
            EXPECT_GT(ui().Scanbut->width(), 150);   // the saved layout: Scan wide
    }
}

TEST_F(RestartTest, SeriesSaveWithTheSaveButtonRestartsOnlyAfterItsBoxesWereSaved)
{
    ui().bidprentmode->setChecked(true);
    for (const QString type : {".qqq", ".JPG"}) {   // ".qqq": no picture format, every box fails
        const bool saves = type == ".JPG";
        ui().bestandstype->setEditText(type);
        probe().boxes() = {ScanBox{0, 0, 20, 15}, ScanBox{20, 15, 40, 30}};
        if (!saves) {
            prompts.answerOk();   // a message window for each box
            prompts.answerOk();
        }
        form->SaveClick(ui().save);
        EXPECT_EQ(started(), saves) << type.toStdString();
    }
}

TEST_F(RestartTest, FailedStartIsReportedAndTheProgramStays)
{
    outsideWorld.startResult = false;
    form->SaveClick(ui().save);
    EXPECT_FALSE(outsideWorld.calls.contains("quit"));
    ASSERT_FALSE(prompts.transcript().empty());
    EXPECT_EQ(prompts.transcript().back().text, "Herstarten [" + script + "] lukt niet");
    EXPECT_NE(ModalResult(form->result()), ModalResult::Ok);
}

TEST_F(RestartTest, FailedSaveNeitherRestartsNorShowsTheSavedLayout)
{
    ui().bestandstype->setEditText(".qqq");   // no picture format
    int scanWidth = ui().Scanbut->width();
    prompts.answerOk();   // the message window
    form->SaveClick(ui().save);
    EXPECT_FALSE(started());
    EXPECT_FALSE(QFile::exists(script));
    EXPECT_EQ(ui().Scanbut->width(), scanWidth);
    EXPECT_EQ(ui().fnedit->text(), "document");
}

TEST_F(RestartTest, SettingsThatCannotBeWrittenStopTheRestart)
{
    QDir().mkpath(SettingsFileName() + "/vast");   // a folder in the way
    form->SaveClick(ui().save);
    EXPECT_FALSE(started());
    ASSERT_FALSE(prompts.transcript().empty());
    EXPECT_EQ(prompts.transcript().back().text, "Herstarten [" + script + "] lukt niet");
}

TEST_F(RestartTest, OldScriptIsReplaced)
{
    QFile old(script);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("echo oud\r\n");
    old.close();
    form->SaveClick(ui().save);
    EXPECT_TRUE(started());
    EXPECT_FALSE(readAll(script).contains("oud"));
    EXPECT_TRUE(prompts.transcript().empty());
}

TEST_F(RestartTest, ScriptThatCannotBeDeletedIsReportedAndNotRun)
{
    QDir().mkpath(script + "/vast");   // a folder in the way
    form->SaveClick(ui().save);
    QStringList notices;
    for (const auto &r : prompts.transcript())
        notices << r.text;
    EXPECT_EQ(notices, QStringList({"Oude " + script + " kon niet verwijderd worden",
                                    "Herstarten [" + script + "] lukt niet"}));
    EXPECT_FALSE(started());
}

}
