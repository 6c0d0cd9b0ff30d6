// Opening a picture file, the clipboard, the help button and the maker's link.
#include "scan_fixture.h"

#include "common/filez.h"
#include "dialogs/help_viewer.h"
#include "fakes/file_bytes.h"
#include "imaging/picture_file.h"
#include "imaging/picture_limits.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

namespace {

class OpenTest : public ScanWindowTest {
protected:
    void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
};

TEST_F(OpenTest, OpenedPictureBecomesAPlainScanAndThePreviewFile)
{
    QString file = program.folder() + "foto.bmp";
    ASSERT_TRUE(quarters(60, 40).save(file));
    form->setPicture(plain(30, 30, Qt::white));
    probe().joinedBackSide() = true;
    ui().save->setEnabled(false);   // no scan made yet
    prompts.answerOk(file);
    form->openfileknopClick();
    EXPECT_TRUE(ui().save->isEnabled());

    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].kind, "open");
    EXPECT_EQ(prompts.transcript()[0].caption, "Open een afbeelding");
    EXPECT_EQ(form->picture().size(), QSize(60, 40));
    EXPECT_EQ(form->picture().pixelColor(59, 39), QColor(10, 20, 30));
    EXPECT_EQ(probe().cleanScan().size(), QSize(60, 40));
    EXPECT_FALSE(probe().joinedBackSide());
    form->awaitPreviewFile();   // written once the picture shows
    QImage preview(PreviewFilePath);
    EXPECT_EQ(preview.size(), QSize(60, 40));
    // Fitted into its panel with the picture's proportions.
    ASSERT_GT(ui().Image1->height(), 0);
    EXPECT_NEAR(double(ui().Image1->width()) / ui().Image1->height(), 1.5, 0.05);
}

// The preview file of an opened picture is written after it shows, and is in
// place before the scanner writes that file: it never replaces the next scan.
TEST_F(OpenTest, PreviewFileOfAnOpenedPictureIsInPlaceBeforeTheNextScan)
{
    const QString file = program.folder() + "groot.bmp";
    ASSERT_TRUE(plain(3000, 3000, Qt::blue).save(file));
    prompts.answerOk(file);
    form->openfileknopClick();
    scanner.image = plain(300, 200, Qt::red);
    ui().Scanbut->click();
    EXPECT_EQ(form->picture().size(), QSize(300, 200));
    form->awaitPreviewFile();   // nothing still on its way
    EXPECT_EQ(QImage(PreviewFilePath).size(), QSize(300, 200));
}

TEST_F(OpenTest, CancelledOpenChangesNothing)
{
    form->setPicture(plain(30, 20, Qt::white));
    probe().joinedBackSide() = true;
    prompts.answerCancel();
    form->openfileknopClick();
    EXPECT_EQ(form->picture().size(), QSize(30, 20));
    EXPECT_TRUE(probe().joinedBackSide());
    EXPECT_FALSE(QFile::exists(PreviewFilePath));
}

TEST_F(OpenTest, UnreadableFileGivesThePlaceholderAlsoInThePreviewFile)
{
    QString file = program.folder() + "kapot.jpg";
    touch(file);
    prompts.answerOk(file);
    form->openfileknopClick();
    // Whatever the loader says about the file goes before the placeholder.
    QImage shown = form->picture();
    ASSERT_FALSE(shown.isNull());
    form->awaitPreviewFile();
    QImage preview(PreviewFilePath);
    EXPECT_EQ(preview.size(), shown.size());
    EXPECT_EQ(probe().cleanScan().size(), shown.size());
}

TEST_F(OpenTest, FileCutShortIsSaidToBeIncomplete_AndTheNextOpenStartsInItsFolder)
{
    QByteArray whole;
    QBuffer buffer(&whole);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(plain(400, 300, QColor(200, 30, 30)).save(&buffer, "JPG", 90));
    const QString folder = program.folder() + "fotos/";
    QDir().mkpath(folder);
    writeAll(folder + "half.jpg", whole.left(whole.size() / 2));
    writeAll(folder + "heel.jpg", whole);

    prompts.answerOk(folder + "heel.jpg");
    form->openfileknopClick();
    prompts.answerOk(folder + "half.jpg");
    form->openfileknopClick();
    const auto &said = prompts.transcript();
    ASSERT_EQ(said.size(), 3u);
    EXPECT_EQ(QDir(said[1].value), QDir(folder));
    EXPECT_EQ(said[2].kind, "notice");
    EXPECT_EQ(said[2].text, "Het bestand is onvolledig; het ontbrekende deel is grijs.");
    // Opened all the same: the top as it was, the missing bottom grey.
    EXPECT_EQ(form->picture().size(), QSize(400, 300));
    const QColor bottom = form->picture().pixelColor(200, 290);
    EXPECT_EQ(bottom.red(), bottom.blue());
}

// The window takes no picture it could not show, turn and save, and asks
// before a very large one.
TEST_F(OpenTest, PicturesAboveTheWindowsLimitsAreRefusedOrAskedFor)
{
    const QString file = program.folder() + "groot.bmp";
    ASSERT_TRUE(plain(300, 200, Qt::blue).save(file));
    const QImage before = plain(30, 20, Qt::white);
    const struct {
        qint64 windowBytes, veryLarge;
        ModalResult answer;   // None: no question
        QSize shown;          // empty: the placeholder
    } cases[] = {
        {300 * 200 * 3, 0, ModalResult::None, {300, 200}},
        {0, 300 * 200 - 1, ModalResult::No, {30, 20}},
        {0, 300 * 200 - 1, ModalResult::Yes, {300, 200}},
        {300 * 200 * 3 - 1, 0, ModalResult::None, {}},   // last: the file is then known unreadable
    };
    for (const auto &c : cases) {
        SetWindowPictureByteLimit(c.windowBytes);
        SetVeryLargePicturePixels(c.veryLarge);
        form->setPicture(before);
        const size_t said = prompts.transcript().size();
        prompts.answerOk(file);
        if (c.answer != ModalResult::None)
            prompts.answer({c.answer, {}, {}, {}});
        form->openfileknopClick();
        SetWindowPictureByteLimit(0);
        SetVeryLargePicturePixels(0);
        const auto &t = prompts.transcript();
        if (c.answer != ModalResult::None) {
            ASSERT_EQ(t.size(), said + 2);
            EXPECT_EQ(t.back().text, "Dit bestand is een zeer groot plaatje (0 megapixel). Toch openen?");
            EXPECT_EQ(t.back().defaultChoice, ModalResult::No);
        }
        if (c.shown.isEmpty()) {
            EXPECT_TRUE(t.back().text.contains("te groot")) << t.back().text.toStdString();
            EXPECT_EQ(form->picture().size(), UnreadablePlaceholder().size());
        } else {
            EXPECT_EQ(form->picture().size(), c.shown);
        }
    }
}

TEST_F(OpenTest, ClipboardGetsThePicture)
{
    form->setPicture(quarters(20, 10));
    form->Button1Click();
    QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(20, 10));
    EXPECT_EQ(copied.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(copied.pixelColor(19, 9), QColor(10, 20, 30));
}

TEST_F(OpenTest, HelpPrefersTheProductsScreenHelp)
{
    form->helpClick();
    touch(program.folder() + "data/kvnschermen.chm");
    form->helpClick();
    EXPECT_EQ(outsideWorld.calls,
              QStringList({"help " + program.folder() + "kvnscan.chm::/scanform.htm",
                           "help " + program.folder() + "data/kvnschermen.chm::/scanform.htm"}));
}

// The help file the program carries is the one built from our pages, with the window's topic.
TEST_F(OpenTest, CarriedHelpFileShowsTheScanWindowPage)
{
    QFile carried(":/KVNSCANCHM");
    ASSERT_TRUE(carried.open(QIODevice::ReadOnly));
    QString copy = program.folder() + "kvnscan.chm";
    QFile out(copy);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(carried.readAll());
    out.close();
    HelpViewer viewer;
    ASSERT_TRUE(viewer.openFile(copy));
    ASSERT_TRUE(viewer.showTopic("scanform.htm"));
    EXPECT_TRUE(viewer.browser()->toPlainText().contains("Begeleidende tekst"));
}

TEST_F(OpenTest, MakerLinkOpensItsAddress)
{
    form->lbDravemontClick();
    EXPECT_EQ(outsideWorld.calls, QStringList({"open " + kMakerWebAddress}));
}

}
