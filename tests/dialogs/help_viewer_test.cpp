// The help viewer on the help file this project builds from resources/help.
#include "dialogs/help_viewer.h"
#include "fakes/fake_outside.h"
#include "fakes/file_bytes.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

// The help file of the build; compiled here from the pages when the build has not made it yet.
QString builtHelpFile()
{
    static QTemporaryDir own;
    QString built = QStringLiteral(KVN_BUILD_DIR "/resources/carried/kvnscan.chm");
    if (QFileInfo(built).size() > 0)
        return built;
    QString work = own.path() + "/help";
    QDir().mkpath(work);
    QDir pages(QStringLiteral(KVN_SOURCE_DIR "/resources/help"));
    for (const QString &name : pages.entryList(QDir::Files))
        QFile::copy(pages.filePath(name), work + '/' + name);
    QProcess chmcmd;
    chmcmd.setWorkingDirectory(work);
    chmcmd.start("chmcmd", {"--no-html-scan", "kvnscan.hhp"});
    chmcmd.waitForFinished(-1);
    return work + "/kvnscan.chm";
}

QString pageText(const HelpViewer &viewer) { return viewer.browser()->document()->toPlainText(); }

TEST(ChmArchive, ReadsPagesOfTheBuiltHelpFile)
{
    ChmArchive chm;
    ASSERT_TRUE(chm.open(builtHelpFile()));
    EXPECT_EQ(chm.defaultTopic(), "scanform.htm");
    EXPECT_TRUE(chm.contains("scanform.htm"));
    EXPECT_TRUE(chm.contains("/scanform.htm"));
    bool ok = false;
    QByteArray page = chm.read("scanform.htm", &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(page.contains("<title>Het scanvenster</title>"));

    chm.read("bestaat-niet.htm", &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(chm.contains("bestaat-niet.htm"));
}

TEST(ChmArchive, RefusesWhatIsNoHelpFile)
{
    QTemporaryDir dir;
    QString fake = dir.path() + "/kvnscan.chm";
    writeAll(fake, QByteArray(4096, 'x'));
    ChmArchive chm;
    EXPECT_FALSE(chm.open(fake));
    EXPECT_FALSE(chm.open(dir.path() + "/missing.chm"));
    bool ok = true;
    chm.read("scanform.htm", &ok);
    EXPECT_FALSE(ok);
}

// Every page explains something a user can reach: a link to a missing page would be a dead end.
TEST(ChmArchive, EveryLinkBetweenPagesLeadsToAPage)
{
    ChmArchive chm;
    ASSERT_TRUE(chm.open(builtHelpFile()));
    const QStringList pages = chm.pages();
    EXPECT_TRUE(pages.contains("scanform.htm"));
    EXPECT_GE(pages.size(), 4);
    QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)"));
    for (const QString &page : pages) {
        QString html = QString::fromUtf8(chm.read(page));
        auto it = href.globalMatch(html);
        while (it.hasNext()) {
            QString target = it.next().captured(1);
            EXPECT_TRUE(chm.contains(target)) << page.toStdString() << " -> " << target.toStdString();
        }
    }
}

TEST(HelpViewer, ShowsTopicAndFollowsLinksBackAndForward)
{
    FakeOutside out;
    HelpViewer viewer;
    ASSERT_TRUE(viewer.openFile(builtHelpFile()));
    ASSERT_TRUE(viewer.showTopic("scanform.htm"));
    EXPECT_EQ(viewer.currentTopic(), "scanform.htm");
    EXPECT_TRUE(pageText(viewer).contains("Het scanvenster"));
    EXPECT_TRUE(pageText(viewer).contains("Begeleidende tekst"));
    EXPECT_EQ(viewer.windowTitle(), "KVNscan help - Het scanvenster");
    EXPECT_FALSE(viewer.backButton()->isEnabled());

    emit viewer.browser()->anchorClicked(QUrl("serie.htm"));
    EXPECT_EQ(viewer.currentTopic(), "serie.htm");
    EXPECT_TRUE(pageText(viewer).contains("Stap voor stap"));
    EXPECT_TRUE(viewer.backButton()->isEnabled());

    viewer.backButton()->click();
    EXPECT_EQ(viewer.currentTopic(), "scanform.htm");
    ASSERT_TRUE(viewer.forwardButton()->isEnabled());
    viewer.forwardButton()->click();
    EXPECT_EQ(viewer.currentTopic(), "serie.htm");
    viewer.contentsButton()->click();
    EXPECT_EQ(viewer.currentTopic(), "index.htm");
    EXPECT_TRUE(out.calls.isEmpty());
}

TEST(HelpViewer, PagesOfOtherSitesGoToTheDesktopAndMissingPagesAreIgnored)
{
    FakeOutside out;
    HelpViewer viewer;
    ASSERT_TRUE(viewer.openFile(builtHelpFile()));
    ASSERT_TRUE(viewer.showTopic("scanform.htm#onder"));
    EXPECT_EQ(viewer.currentTopic(), "scanform.htm");

    emit viewer.browser()->anchorClicked(QUrl("https://www.vexlo.nl/"));
    emit viewer.browser()->anchorClicked(QUrl("weg.htm"));
    EXPECT_EQ(viewer.currentTopic(), "scanform.htm");
    EXPECT_EQ(out.calls, QStringList{"open https://www.vexlo.nl/"});
}

TEST(HelpViewer, PicturesAndStyleSheetsComeFromTheHelpFile)
{
    HelpViewer viewer;
    ASSERT_TRUE(viewer.openFile(builtHelpFile()));
    ASSERT_TRUE(viewer.showTopic("index.htm"));
    QVariant css = viewer.browser()->loadResource(QTextDocument::StyleSheetResource, QUrl("chm:///help.css"));
    EXPECT_TRUE(css.toString().contains("font-family"));
    QVariant shot = viewer.browser()->loadResource(QTextDocument::ImageResource, QUrl("chm:///scanform.png"));
    EXPECT_FALSE(QImage::fromData(shot.toByteArray()).isNull());
    EXPECT_FALSE(viewer.browser()->loadResource(QTextDocument::ImageResource, QUrl("chm:///geen.png")).isValid());
    // A page cannot reach files outside its help file.
    EXPECT_FALSE(
        viewer.browser()->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile("/etc/hostname")).isValid());
}

TEST(HelpViewer, EmptyTopicShowsTheStartPageOfTheFile)
{
    HelpViewer viewer;
    ASSERT_TRUE(viewer.openFile(builtHelpFile()));
    ASSERT_TRUE(viewer.showTopic(QString()));
    EXPECT_EQ(viewer.currentTopic(), "scanform.htm");
}

TEST(OpenHelpViewer, OpensOneWindowAndRefusesWhatItCannotShow)
{
    QString file = builtHelpFile();
    ASSERT_TRUE(OpenHelpViewer(file, "scanform.htm"));
    HelpViewer *first = HelpViewerWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    ASSERT_TRUE(OpenHelpViewer(file, "opslaan.htm"));
    EXPECT_EQ(HelpViewerWindow(), first);
    EXPECT_EQ(first->currentTopic(), "opslaan.htm");

    EXPECT_FALSE(OpenHelpViewer(file, "bestaat-niet.htm"));
    EXPECT_FALSE(OpenHelpViewer(QDir::tempPath() + "/geen-hulpbestand.chm", "scanform.htm"));
    // Escape, wherever the focus is in it, closes the help.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(first->browser(), &escape);
    EXPECT_FALSE(first->isVisible());
}

TEST(OpenHelpViewer, OpenedFromAModalWindowItIsNotBlockedByIt)
{
    QDialog modal;
    bool blocked = true;
    QTimer::singleShot(0, &modal, [&] {
        ASSERT_TRUE(OpenHelpViewer(builtHelpFile(), "scanform.htm"));
        QApplication::processEvents();
        blocked = QApplication::activeModalWidget() == &modal
                  && HelpViewerWindow()->parentWidget() != &modal;
        HelpViewerWindow()->close();
        modal.accept();
    });
    modal.exec();
    EXPECT_FALSE(blocked);
}

}
