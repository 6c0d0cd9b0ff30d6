// Saving under long and odd names, on a full disk, and settings that cannot be stored.
#include "scan_fixture.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "dialogs/meldform.h"
#include "dialogs/seldir.h"
#include "fakes/file_bytes.h"
#include "ui_seldirform.h"

#include <QDir>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace {

QByteArrayList rawEntries(const QByteArray &folder)
{
    QByteArrayList names;
    if (DIR *d = opendir(folder.constData())) {
        while (dirent *e = readdir(d)) {
            const QByteArray n(e->d_name);
            if (n != "." && n != "..")
                names << n;
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void rawWrite(const QByteArray &path, const QByteArray &bytes)
{
    FILE *f = std::fopen(path.constData(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fclose(f);
}

QByteArray rawBytes(const QByteArray &path)
{
    QByteArray out;
    if (FILE *f = std::fopen(path.constData(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, qsizetype(n));
        std::fclose(f);
    }
    return out;
}

void makeOld(const QByteArray &path)
{
    timeval old[2];
    gettimeofday(&old[0], nullptr);
    old[0].tv_sec -= kStaleTemporarySeconds + 60;
    old[1] = old[0];
    utimes(path.constData(), old);
}

class SaveNamesTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        probe().defaultFileName() = [](const QString &) { return QStringLiteral("document.JPG"); };
        form->setPicture(quarters(40, 30));
        ui().bestandstype->setCurrentIndex(0);   // ".JPG"
        ui().numdig->setText("3");
    }
    QByteArray raw(const QByteArray &name) const { return QFile::encodeName(program.folder()) + name; }
};
}

TEST_F(SaveNamesTest, LongAndOddNamesAreSavedWithTheirOwnBytesAndStaleTemporariesGo)
{
    struct Case { QByteArray folder, base; };
    const QByteArray accents = QString(125, QChar(0xE9)).toUtf8();   // 250 bytes
    const std::vector<Case> cases = {
        {"lang", QByteArray(243, 'a')},          // 247-byte names
        {"lang", QByteArray(251, 'b')},          // 255 bytes, the longest allowed
        {"lang", accents + "c"},                 // 255 bytes, two per character
        {"map\xe9", "caf\xe9"},                  // not UTF-8
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.base.left(20).toHex().toStdString());
        const QByteArray folder = raw(c.folder);
        ::mkdir(folder.constData(), 0777);
        // A temporary file a killed save left long ago, and one a save is writing now.
        const QByteArray stale = folder + "/.doc.JPG.Xy12Zw.part", fresh = folder + "/.doc.JPG.Ab34Cd.part";
        rawWrite(stale, "half");
        rawWrite(fresh, "half");
        makeOld(stale);

        ui().doelmap->setText(PathFromNative(folder));
        ui().fnedit->setText(PathFromNative(c.base));
        ui().Memo1->setPlainText("tekst");
        form->SaveClick(nullptr);

        EXPECT_TRUE(prompts.texts().isEmpty()) << prompts.texts().join('|').toStdString();
        EXPECT_TRUE(rawBytes(folder + '/' + c.base + ".JPG").startsWith("\xFF\xD8"));
        EXPECT_EQ(rawBytes(folder + '/' + c.base + ".txt"), "tekst\r\n");
        EXPECT_TRUE(ui().Memo1->toPlainText().isEmpty());
        const QByteArrayList left = rawEntries(folder);
        EXPECT_TRUE(left.contains(".doc.JPG.Ab34Cd.part"));
        EXPECT_FALSE(left.contains(".doc.JPG.Xy12Zw.part"));
        for (const QByteArray &n : left)
            EXPECT_TRUE(!n.endsWith(".part") || n == ".doc.JPG.Ab34Cd.part") << n.toHex().toStdString();
        ::unlink(fresh.constData());
    }
    removeByBytes(raw("map\xe9"));
}

TEST_F(SaveNamesTest, FolderDialogListsAndReachesNamesThatAreNotUtf8)
{
    const QByteArray odd = raw("map\xe9");
    ASSERT_EQ(::mkdir(odd.constData(), 0777), 0);
    rawWrite(odd + "/caf\xe9.JPG", "x");
    PromptAnswer a;
    a.act = [&](QDialog &d) {
        auto &dialog = static_cast<Tseldirform &>(d);
        DirectoryList *list = dialog.ui->DirectoryListBox1;
        list->setDirectory(program.folder());
        int row = -1;
        for (int i = 0; i < list->count(); ++i)
            if (NativePath(list->itemPath(i)) == odd)
                row = i;
        ASSERT_GE(row, 0) << "the folder is not listed";
        list->setCurrentRow(row);
        list->openSelected();
        ASSERT_EQ(dialog.ui->FileListBox1->count(), 1);
        EXPECT_EQ(NativePath(dialog.ui->FileListBox1->item(0)->text()), "caf\xe9.JPG");
        dialog.okClick();
    };
    prompts.answer(a);
    const QString cwd = QDir::currentPath();
    form->selbasislocClick();
    QDir::setCurrent(cwd);
    EXPECT_EQ(NativePath(ui().doelmap->text()), odd + '/');
    removeByBytes(odd);
}

// The card is one unit: a text file that does not fit takes its picture with it.
TEST_F(SaveNamesTest, TextThatDoesNotFitIsReportedAndStaysInTheMemo)
{
    const QString folder = program.folder() + "scans";
    QDir().mkpath(folder);
    ui().doelmap->setText(folder);
    ui().fnedit->setText("vol");
    const QString text = QString(12600, 'x');
    ui().Memo1->setPlainText(text);
    {
        TinyFileLimit limit(8192);   // room for the small picture, not for the text
        prompts.answerOk();          // the message window
        form->SaveClick(nullptr);
    }
    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].kind, "modal");
    ASSERT_NE(MessageWindow(), nullptr);
    const QString told = MessageWindow()->melding->toPlainText();
    // The picture carries the text too: whichever part passes the limit first is named.
    EXPECT_TRUE(told.startsWith("Opslaan " + folder + "/vol.")) << told.toStdString();
    EXPECT_TRUE(told.contains(" mislukt: schrijven mislukt: ")) << told.toStdString();
    EXPECT_FALSE(told.contains("Probeer een andere naam"));
    EXPECT_EQ(ui().Memo1->toPlainText(), text);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

TEST(SettingsAtTheEnd, ASettingsFileThatCannotBeWrittenIsNamedInANotice)
{
    TempProgram program;
    ScriptedPrompts prompts;
    ASSERT_TRUE(QDir().mkpath(SettingsFileName()));   // a folder where the file should go
    SettingsList settings;
    settings.setValue("dpi", "300");
    EXPECT_FALSE(SaveSettingsAtEnd(settings));
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts().at(0).contains("[" + SettingsFileName() + "]")) << prompts.texts().at(0).toStdString();

    QDir().rmdir(SettingsFileName());
    EXPECT_TRUE(SaveSettingsAtEnd(settings));
    EXPECT_EQ(readAll(SettingsFileName()), "dpi=300\n");
    EXPECT_EQ(prompts.texts().size(), 1);
}
