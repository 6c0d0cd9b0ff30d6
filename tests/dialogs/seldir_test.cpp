// The folder dialog, driven through scripted answers as a user would drive it.
#include "dialogs/seldir.h"
#include "dialogs/seldir_list.h"
#include "fakes/file_bytes.h"
#include "fakes/scripted_prompts.h"
#include "ui_seldirform.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SelectFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_cwd = QDir::currentPath();
        SeldirMemory = SelectFolderMemory();
        SelectedFolder.clear();
        root = QDir(m_tmp.path()).canonicalPath() + '/';
    }
    void TearDown() override { QDir::setCurrent(m_cwd); }

    QString mk(const QString &relative)
    {
        QDir().mkpath(root + relative);
        return root + relative;
    }

    // Opens path in the folder list and clicks its item, as the user would.
    static void pick(Tseldirform &form, const QString &path)
    {
        form.ui->DirectoryListBox1->setDirectory(path);
        form.ui->DirectoryListBox1->setCurrentRow(form.ui->DirectoryListBox1->currentFolderIndex());
        form.DirectoryListBox1Click();
    }

    static void run(ScriptedPrompts &p, std::function<void(Tseldirform &)> act,
                    ModalResult result = ModalResult::Ok)
    {
        PromptAnswer a;
        a.result = result;
        a.act = [act](QDialog &d) { act(static_cast<Tseldirform &>(d)); };
        p.answer(a);
    }

    static bool select(const QString &start, const QString &base = QString())
    {
        return SelectFolder(start, "Selecteer doelmap", base);
    }

    QTemporaryDir m_tmp;
    QString m_cwd;
    QString root;
};

TEST_F(SelectFolderTest, ChoiceOutsideBaseFolderJumpsBackToIt)
{
    QString base = mk("a");
    QString other = mk("x");
    mk("ab");   // a sibling whose name starts like the base is not inside it
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        pick(form, other);
        EXPECT_EQ(form.chosenFolder, base + '/');
        EXPECT_EQ(form.ui->DirectoryListBox1->directory(), base);
        EXPECT_EQ(form.windowTitle(), "Selecteer doelmap, nu: " + base + '/');

        pick(form, root + "ab");
        EXPECT_EQ(form.chosenFolder, base + '/');

        form.ui->DirectoryListBox1->setDirectory(root);   // reached without a click
        form.okClick();
        EXPECT_EQ(ModalResult(form.result()), ModalResult::Ok);
    });
    ASSERT_TRUE(select(other, "  " + base + "  "));
    EXPECT_EQ(SelectedFolder, base + '/');
}

TEST_F(SelectFolderTest, FoldersInsideBaseFolderOrWithAMissingBaseFolderAreKept)
{
    const struct {
        QString start, base, chosen;
    } cases[] = {{mk("a"), root + "a", mk("a/b/c")}, {mk("x"), root + "bestaat-niet", root + "x"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.base.toStdString());
        ScriptedPrompts p;
        run(p, [&](Tseldirform &form) {
            pick(form, c.chosen);
            EXPECT_EQ(form.chosenFolder, c.chosen + '/');
            // A missing base folder is dropped at the first change.
            EXPECT_EQ(form.baseFolder.isEmpty(), !QDir(c.base).exists());
            form.okClick();
        });
        ASSERT_TRUE(select(c.start, c.base));
        EXPECT_EQ(SelectedFolder, c.chosen + '/');
    }
}

TEST_F(SelectFolderTest, ThumbnailsFolderAsksBeforeItIsTaken)
{
    QString thumbs = mk("pictures/Thumbnails");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        pick(form, thumbs);
        form.okClick();
        EXPECT_EQ(form.result(), 0) << "No must leave the dialog open";
        form.okClick();
        EXPECT_EQ(ModalResult(form.result()), ModalResult::Ok);
    });
    p.answerNo();
    p.answerYes();
    ASSERT_TRUE(select(thumbs));
    EXPECT_EQ(SelectedFolder, thumbs + '/');

    int questions = 0;
    for (const auto &r : p.transcript()) {
        if (r.kind != "yesno")
            continue;
        ++questions;
        EXPECT_EQ(r.caption, "Thumbnailmap geselecteerd");
        EXPECT_TRUE(r.text.startsWith("U selecteert een thumbnails-map.\r\nDat is hoogstwaarschijnlijk niet de "
                                      "bedoeling.\r\nThumbnail-mappen bevatten alleen verkleinde kopie's van de "
                                      "bitmaps in de onderliggende map.\r\nWeet u zeker dat u deze map wilt "
                                      "selecteren ?"))
            << r.text.toStdString();
        EXPECT_TRUE(r.text.contains("Ja, deze thumbnailmap selecteren", Qt::CaseInsensitive));
        EXPECT_TRUE(r.text.contains("Nee, een andere map selecteren", Qt::CaseInsensitive));
    }
    EXPECT_EQ(questions, 2);
}

TEST_F(SelectFolderTest, FolderNamedLikeThumbnailsButLongerAsksNothing)
{
    QString folder = mk("thumbnails2");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        pick(form, folder);
        form.okClick();
        EXPECT_EQ(ModalResult(form.result()), ModalResult::Ok);
    });
    ASSERT_TRUE(select(folder));
    EXPECT_EQ(p.pending(), 0);
    for (const auto &r : p.transcript())
        EXPECT_NE(r.kind, "yesno");
}

TEST_F(SelectFolderTest, ReturnedFolderEndsWithSlash)
{
    QString folder = mk("scans");
    ScriptedPrompts p;
    // Confirmed without touching the list: still a folder with '/'.
    run(p, [](Tseldirform &) {});
    ASSERT_TRUE(select(folder));
    EXPECT_EQ(SelectedFolder, folder + '/');

    run(p, [&](Tseldirform &form) { form.okClick(); });
    ASSERT_TRUE(select(folder));
    EXPECT_EQ(SelectedFolder, folder + '/');

    run(p, [&](Tseldirform &form) {
        pick(form, "/");
        EXPECT_EQ(form.chosenFolder, "/");
        form.okClick();
    });
    ASSERT_TRUE(select(folder));
    EXPECT_EQ(SelectedFolder, "/");
}

TEST_F(SelectFolderTest, CancelKeepsStartFolderAndSaysNo)
{
    QString folder = mk("scans");
    QString other = mk("other");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        pick(form, other);
        form.cancClick();
        EXPECT_EQ(ModalResult(form.result()), ModalResult::Cancel);
    }, ModalResult::Cancel);
    EXPECT_FALSE(select(folder));
    EXPECT_EQ(SelectedFolder, folder);
}

TEST_F(SelectFolderTest, CaptionShowsCaptionTextAndFolderFromTheStart)
{
    QString folder = mk("scans");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        EXPECT_EQ(form.windowTitle(), "Selecteer doelmap, nu: " + folder + '/');
        EXPECT_EQ(form.ui->DirectoryListBox1->directory(), folder);
        EXPECT_EQ(QDir::currentPath(), folder);
        pick(form, folder);
        EXPECT_EQ(form.windowTitle(), "Selecteer doelmap, nu: " + folder + '/');
    }, ModalResult::Cancel);
    select(folder);
}

TEST_F(SelectFolderTest, MissingStartFolderIsReported)
{
    QDir::setCurrent(mk("here"));
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) { EXPECT_EQ(form.ui->DirectoryListBox1->directory(), root + "here"); }, ModalResult::Cancel);
    select(root + "weg");
    ASSERT_FALSE(p.transcript().empty());
    EXPECT_EQ(p.transcript().front().kind, "notice");
    EXPECT_EQ(p.transcript().front().text, root + "weg niet gevonden");
}

TEST_F(SelectFolderTest, SecondDialogShowsGeometryAndColumnsOfTheFirst)
{
    QString folder = mk("scans");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        EXPECT_EQ(form.size(), QSize(572, 422));
        EXPECT_EQ(form.pos(), QPoint(20, 20));
        EXPECT_EQ(form.ui->SpinEdit1->value(), 3);
        form.resize(610, 450);
        form.move(33, 44);
        form.ui->SpinEdit1->setValue(2);
        EXPECT_EQ(form.ui->DirectoryListBox1->columns(), 2);
    }, ModalResult::Cancel);
    select(folder);
    run(p, [&](Tseldirform &form) {
        EXPECT_EQ(form.size(), QSize(610, 450));
        EXPECT_EQ(form.pos(), QPoint(33, 44));
        EXPECT_EQ(form.ui->SpinEdit1->value(), 2);
        EXPECT_EQ(form.ui->DirectoryListBox1->columns(), 2);
    }, ModalResult::Cancel);
    select(folder);
    EXPECT_EQ(SeldirMemory.columns, 2);
}

TEST_F(SelectFolderTest, UpGoesToTheParentAndShowsItsFiles)
{
    QString inner = mk("a/b");
    writeAll(root + "a/lijst.txt", "");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        EXPECT_EQ(form.ui->FileListBox1->count(), 0);
        form.dirupClick();
        EXPECT_EQ(form.ui->DirectoryListBox1->directory(), root + "a");
        EXPECT_EQ(QDir::currentPath(), root + "a");
        ASSERT_EQ(form.ui->FileListBox1->count(), 1);
        EXPECT_EQ(form.ui->FileListBox1->item(0)->text(), "lijst.txt");
        form.okClick();
    });
    ASSERT_TRUE(select(inner));
    EXPECT_EQ(SelectedFolder, root + "a/");
}

TEST_F(SelectFolderTest, UpAtTheRootDoesNothing)
{
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        form.dirupClick();
        EXPECT_EQ(form.ui->DirectoryListBox1->directory(), "/");
    }, ModalResult::Cancel);
    select("/");
}

TEST_F(SelectFolderTest, NewFolderIsCreatedAndOpened)
{
    QString folder = mk("scans");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) { form.CreatedirClick(); form.okClick(); });
    p.answerOk("Familie Jansen");
    ASSERT_TRUE(select(folder));
    EXPECT_TRUE(QDir(folder + "/Familie Jansen").exists());
    EXPECT_EQ(SelectedFolder, folder + "/Familie Jansen/");

    const PromptRecord &input = p.transcript().at(1);
    EXPECT_EQ(input.kind, "input");
    EXPECT_EQ(input.caption, "Map aanmaken");
    EXPECT_EQ(input.text, "Geef een naam voor map in " + folder + "/:");
    EXPECT_EQ(input.value, "Nieuwe map");
}

TEST_F(SelectFolderTest, NewFolderThatCannotBeMadeIsReportedAndNothingMoves)
{
    QString folder = mk("scans");
    mk("scans/bestaat");
    mk("elders");
    ScriptedPrompts p;
    run(p, [&](Tseldirform &form) {
        form.CreatedirClick();   // name taken
        form.CreatedirClick();   // a name reaching into another folder
        form.CreatedirClick();   // cancelled
        EXPECT_EQ(form.ui->DirectoryListBox1->directory(), folder);
    }, ModalResult::Cancel);
    p.answerOk("bestaat");
    p.answerOk("../elders/nieuw");
    p.answerCancel();
    select(folder);
    EXPECT_FALSE(QDir(root + "elders/nieuw").exists());
    QStringList notices;
    for (const auto &r : p.transcript())
        if (r.kind == "notice")
            notices << r.text;
    EXPECT_EQ(notices, QStringList({"Iets lukt niet met met " + folder + "/bestaat",
                                    "Iets lukt niet met met " + folder + "/../elders/nieuw"}));
}

TEST_F(SelectFolderTest, FolderListShowsAncestorsCurrentAndSubfolders)
{
    mk("a/b/één");
    mk("a/b/alfa");
    DirectoryList list;
    list.setDirectory(root + "a/b");
    int here = list.currentFolderIndex();
    EXPECT_EQ(list.currentRow(), here);
    EXPECT_EQ(list.itemPath(0), "/");
    EXPECT_EQ(list.itemPath(here), root + "a/b");
    EXPECT_EQ(list.itemPath(here - 1), root + "a");
    ASSERT_EQ(list.count(), here + 3);
    EXPECT_EQ(list.itemPath(here + 1).toStdString(), (root + "a/b/alfa").toStdString());
    EXPECT_EQ(list.itemPath(here + 2).toStdString(), (root + "a/b/één").toStdString());
    EXPECT_TRUE(list.itemPath(here + 3).isEmpty());

    list.setCurrentRow(here + 2);
    list.openSelected();
    EXPECT_EQ(list.directory().toStdString(), (root + "a/b/één").toStdString());

    list.setColumns(0);
    EXPECT_EQ(list.columns(), 1);
}

}
