#include "common/filez.h"
#include "common/locations.h"
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}
}

TEST(StateFolder, TheLastScanLivesInAPrivateFolderOfTheUsersOwn)
{
    TempProgram t;
    const QByteArray oldHome = qgetenv("HOME"), oldState = qgetenv("XDG_STATE_HOME");
    qputenv("HOME", t.path("home").toUtf8());
    ASSERT_TRUE(QDir().mkpath(t.path("los/kvnscan")) && QDir().mkpath(t.path("ander")));
    ::chmod(QFile::encodeName(t.path("los/kvnscan")).constData(), 0755);
    ASSERT_TRUE(QDir().mkpath(t.path("koppel")) && QFile::link(t.path("ander"), t.path("koppel/kvnscan")));
    struct Case {
        const char *stateHome, *folder;   // folder empty: not the one asked for
    } cases[] = {
        {"", "home/.local/state/kvnscan/"},
        {"relatief", "home/.local/state/kvnscan/"},   // a relative one counts as unset
        {"staat", "staat/kvnscan/"},
        {"los", "los/kvnscan/"},                      // too open: closed to others
        {"koppel", ""},                               // a link is no folder of ours
    };
    for (const Case &c : cases) {
        const QByteArray home(c.stateHome);
        qputenv("XDG_STATE_HOME", home.isEmpty() || home == "relatief" ? home : t.path(c.stateHome).toUtf8());
        const QString folder = Locations::stateFolder();
        if (c.folder[0]) {
            EXPECT_EQ(folder, t.path(c.folder)) << c.stateHome;
            EXPECT_EQ(modeOf(folder), 0700) << c.stateHome;
        } else {
            EXPECT_FALSE(folder.startsWith(t.path("koppel")) || folder.startsWith(t.path("ander")))
                << folder.toStdString();
            EXPECT_EQ(modeOf(folder), 0700);
            QDir(folder).removeRecursively();
        }
    }

    // What the program writes there is the user's alone, and a link planted there is never written through.
    qputenv("XDG_STATE_HOME", t.path("staat").toUtf8());
    writeAll(t.path("ander/geheim"), "van een ander");
    ASSERT_TRUE(QFile::link(t.path("ander/geheim"), t.path("staat/kvnscan/preview.bmp")));
    const QString folder = Locations::stateFolder();
    EXPECT_FALSE(QFileInfo(folder + "preview.bmp").isSymLink());
    ASSERT_TRUE(WriteFileAtomically(folder + "preview.bmp", "BM"));
    EXPECT_EQ(modeOf(folder + "preview.bmp"), 0600);
    EXPECT_EQ(readAll(t.path("ander/geheim")), "van een ander");

    qputenv("HOME", oldHome);
    if (oldState.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", oldState);
}
