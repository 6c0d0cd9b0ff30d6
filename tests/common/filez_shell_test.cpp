#include "common/filez.h"
#include "fakes/fake_outside.h"

#include <QGuiApplication>
#include <QWidget>
#include <gtest/gtest.h>

TEST(ShellOpen, HandsTheFileToTheDesktopAndRestoresTheCursor)
{
    FakeOutside out;
    EXPECT_TRUE(ShellOpen("/tmp/scan 1.jpg", "", "open"));
    EXPECT_FALSE(ShellOpen("", "", "open"));
    out.openResult = false;
    EXPECT_FALSE(ShellOpen("https://example.org/a.htm", "", "open"));
    EXPECT_EQ(out.calls, QStringList({"open /tmp/scan 1.jpg", "open https://example.org/a.htm"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ShowHelpTopic, OpensTopicsOfTheHelpFile)
{
    FakeOutside out;
    EXPECT_TRUE(ShowHelpTopic("scannen.htm", "/opt/kvn/kvnscan.chm"));
    EXPECT_FALSE(ShowHelpTopic("", ""));  // no default help file set
    // The help file alone opens at its first page.
    EXPECT_FALSE(ShowHelpTopic("", "/opt/kvn/kvnscan.chm"));
    EXPECT_EQ(out.calls, QStringList({"help /opt/kvn/kvnscan.chm::/scannen.htm", "help /opt/kvn/kvnscan.chm::/"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    DefaultHelpFile = "/opt/kvn/standaard.chm";
    out.calls.clear();
    EXPECT_TRUE(ShowHelpTopic("index.htm", ""));
    DefaultHelpFile.clear();
    EXPECT_EQ(out.calls, QStringList({"help /opt/kvn/standaard.chm::/index.htm"}));
}

TEST(ShowHelpTopic, ClosesOpenHelpWindowsFirst)
{
    FakeOutside out;
    QWidget help;
    help.setWindowTitle("Vexlo Schermhulp");
    help.show();
    ShowHelpTopic("a.htm", "/x.chm");
    QCoreApplication::processEvents();
    EXPECT_FALSE(help.isVisible());
}
