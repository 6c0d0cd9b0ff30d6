#include "common/filez.h"
#include "common/locations.h"
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"
#include "log_capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

TEST(FilezPaths, SettingsFileNameLooksOnlyAtTheFileName)
{
    TempProgram t;
    const char *cases[][2] = {
        {"/opt/Prog/Scan.EXE", "/opt/Prog/Scan.ini"},
        {"/c/a.exe.d/scan.exe", "/c/a.exe.d/scan.ini"},  // a folder named like an executable is left alone
        {"/c/a.exe.d/scan", "/c/a.exe.d/scan.ini"},
        {"/c/x/scan.exe.old", "/c/x/scan.ini.old"},
        {"/usr/lib/KVNscan/KVNscan", "/usr/lib/KVNscan/KVNscan.ini"},
    };
    for (const auto &c : cases) {
        Locations::overrideExecutablePath(c[0]);
        EXPECT_EQ(SettingsFileName(), c[1]) << c[0];
    }
}

TEST(FilezPaths, ProgramFolderKeepsCaseAndEndsInSlash)
{
    TempProgram t;
    ASSERT_TRUE(QDir().mkpath(t.path("Mijn Programma")));
    Locations::overrideExecutablePath(t.path("Mijn Programma/KVNscan"));
    EXPECT_EQ(ProgramFolder(), t.path("Mijn Programma/"));
    EXPECT_EQ(TempFolder(), t.temp());
}

TEST(FilezPaths, AnInstalledProgramKeepsItsFilesInTheUsersFolder)
{
    TempProgram t;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", t.path("home").toUtf8());
    ASSERT_TRUE(QDir().mkpath(t.path("usr/bin")) && QDir().mkpath(t.path("usr/share/kvnscan")));
    ASSERT_TRUE(QDir().mkpath(t.path("build/bin")) && QDir().mkpath(t.path("opt/bin")));
    ASSERT_TRUE(QDir().mkpath(t.path("opt/share/anders")));
    // Scans go where the user looks: the pictures folder the desktop names, else ~/Pictures.
    ASSERT_TRUE(QDir().mkpath(t.path("home/Pictures")) && QDir().mkpath(t.path("home/Afbeeldingen")));
    ASSERT_TRUE(QDir().mkpath(t.path("cfg")));
    writeAll(t.path("cfg/user-dirs.dirs"), "XDG_PICTURES_DIR=\"$HOME/Afbeeldingen\"\n");
    struct Case {
        const char *exe, *configHome, *folder, *target;
    } cases[] = {
        {"usr/bin/KVNscan", "", "home/.config/kvnscan/", "home/Pictures/KVNscan/"},
        {"usr/bin/KVNscan", "cfg", "cfg/kvnscan/", "home/Afbeeldingen/KVNscan/"},
        // A relative XDG_CONFIG_HOME is not valid and counts as unset.
        {"usr/bin/KVNscan", "relatief", "home/.config/kvnscan/", "home/Pictures/KVNscan/"},
        // Not installed: the build tree, a bin folder without share/kvnscan beside it.
        {"build/bin/KVNscan", "cfg", "build/bin/", "build/bin/"},
        {"opt/bin/KVNscan", "cfg", "opt/bin/", "opt/bin/"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.exe) + " with XDG_CONFIG_HOME " + c.configHome);
        const QString config = QString::fromLatin1(c.configHome);
        qputenv("XDG_CONFIG_HOME", config.isEmpty() || config == "relatief" ? config.toUtf8() : t.path(config).toUtf8());
        Locations::overrideExecutablePath(t.path(c.exe));
        EXPECT_EQ(ProgramFolder(), t.path(c.folder));
        EXPECT_EQ(SettingsFileName(), t.path(c.folder) + "KVNscan.ini");
        EXPECT_TRUE(QFileInfo(t.path(c.folder)).isDir());
        EXPECT_EQ(DefaultTargetFolder(), t.path(c.target));
    }
    // Not made before the first save.
    EXPECT_FALSE(QFileInfo::exists(t.path("home/Pictures/KVNscan")));
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(FilezPaths, TrailingSlashAndExtensions)
{
    EXPECT_EQ(WithTrailingBackslash(""), "");
    EXPECT_EQ(WithTrailingBackslash("/a"), "/a/");
    EXPECT_EQ(WithTrailingBackslash("/a/"), "/a/");

    auto split = [](const QString &n) { SplitName s = SplitExtension(n); return s.extension + "|" + s.base; };
    EXPECT_EQ(split("foto.jpeg"), ".jpe|foto");
    EXPECT_EQ(split("/my.dir/file"), ".dir|/my");
    EXPECT_EQ(split("foto."), "|foto");
    EXPECT_EQ(split("foto"), "|foto");
    EXPECT_EQ(split(""), "|");

    EXPECT_TRUE(EndsWithText("Foto.JPG", ".jpg"));
    EXPECT_FALSE(EndsWithText("", ""));
    EXPECT_FALSE(EndsWithText("g", ".jpg"));
}

TEST(FilezPaths, LongAndShortPathsOfExistingAndNewFiles)
{
    TempProgram t;
    ASSERT_TRUE(QDir().mkpath(t.path("Scans/Oud")));
    EXPECT_EQ(ExpandLongPath(t.path("Scans/./Oud/../Oud/")), t.path("Scans/Oud/"));
    // The part that does not exist yet is kept as written.
    EXPECT_EQ(ExpandLongPath(t.path("Scans/Nieuw/x.jpg")), t.path("Scans/Nieuw/x.jpg"));
    EXPECT_EQ(ShortPathOf(t.path("Scans/Oud/nieuw.jpg")), t.path("Scans/Oud/nieuw.jpg"));
    EXPECT_EQ(ShortPathOf(t.path("Scans/Weg/nieuw")), "");
}

TEST(FilezFiles, ExistenceAndSize)
{
    TempProgram t;
    writeAll(t.path("a.txt"), "12345");
    EXPECT_TRUE(SafeFileExists(t.path("a.txt")));
    EXPECT_FALSE(SafeFileExists(t.folder()));
    EXPECT_TRUE(SafeDirectoryExists(t.folder()));
    EXPECT_FALSE(SafeDirectoryExists(t.path("a.txt")));
    EXPECT_FALSE(SafeFileExists(""));
    EXPECT_EQ(FileSizeOf(t.path("a.txt")), 5);
    EXPECT_EQ(FileSizeOf(t.path("*.txt")), 5);
    EXPECT_EQ(FileSizeOf(t.path("b.txt")), 0);
    EXPECT_EQ(FileSizeOf(t.folder()), 0);
    EXPECT_EQ(DriveTypeOf("C"), 3);
}

TEST(FilezFiles, CanCreateFileNeverTouchesAnExistingFile)
{
    TempProgram t;
    writeAll(t.path("bewaar.txt"), "inhoud");
    EXPECT_FALSE(CanCreateFile(t.path("bewaar.txt")));
    EXPECT_EQ(readAll(t.path("bewaar.txt")), "inhoud");
    EXPECT_TRUE(CanCreateFile(t.path("nieuw.txt")));
    EXPECT_FALSE(QFile::exists(t.path("nieuw.txt")));
    EXPECT_FALSE(CanCreateFile(t.path("geen/map/nieuw.txt")));
}

TEST(FilezFiles, CanWriteCurrentFolderKeepsSomeonesTestFile)
{
    TempProgram t;
    const QString old = QDir::currentPath();
    QDir::setCurrent(t.folder());
    writeAll(t.path("testwrit.txt"), "van de gebruiker");
    EXPECT_TRUE(CanWriteCurrentFolder());
    EXPECT_EQ(readAll(t.path("testwrit.txt")), "van de gebruiker");
    EXPECT_EQ(QDir(t.folder()).entryList(QDir::Files).size(), 1);
    QDir::setCurrent(old);
}

TEST(WriteTextFile, WritesOneLineWithCrLfReplacingTheFile)
{
    TempProgram t;
    const QString path = t.path("uit.txt");
    writeAll(path, "oud en langer");
    EXPECT_TRUE(WriteTextFile(QString::fromUtf8("één\r\ntwee"), path));
    EXPECT_EQ(readAll(path), QByteArray("\xc3\xa9\xc3\xa9n\r\ntwee\r\n"));
    EXPECT_TRUE(WriteTextFile("", path));
    EXPECT_EQ(readAll(path), "\r\n");
}

TEST(WriteTextFile, FailuresAreLoggedWithTheTextsEnds)
{
    TempProgram t;
    LogCapture log;
    const QString text = QString(150, 'a') + QString(150, 'z');
    EXPECT_FALSE(WriteTextFile(text, ""));
    ASSERT_EQ(LogCapture::lines().size(), 1);
    EXPECT_EQ(LogCapture::lines().at(0),
              "fout #fn1 (lege bestandsnaam):\r\n\r\n[" + QString(100, 'a') + "\r\n...\r\n" + QString(100, 'z') + "]");

    EXPECT_FALSE(WriteTextFile("kort", t.path("geen/map.txt")));
    ASSERT_EQ(LogCapture::lines().size(), 2);
    const QString entry = LogCapture::lines().at(1);
    EXPECT_TRUE(entry.startsWith("Kon [" + t.path("geen/map.txt") + "] niet schrijven (")) << entry.toStdString();
    EXPECT_TRUE(entry.endsWith(").\r\n\r\n[kort\r\n...\r\nkort]")) << entry.toStdString();
}

TEST(WriteTextFile, FullDiskLeavesTheOldFile)
{
    TempProgram t;
    LogCapture log;
    const QString path = t.path("log.txt");
    writeAll(path, "oude inhoud");
    {
        TinyFileLimit limit(16);
        EXPECT_FALSE(WriteTextFile(QString(5000, 'x'), path));
    }
    EXPECT_EQ(readAll(path), "oude inhoud");
    EXPECT_EQ(LogCapture::lines().size(), 1);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(t.folder()).entryList(QDir::Files).size(), 1);
}

TEST(NativePath, EveryByteSequenceComesBackAndUtf8StaysUtf8)
{
    const QByteArrayList names = {
        "caf\xe9.JPG", "map\xe9\xe9", "\xc3\xa9t\xc3\xa9", "\xf0\x9f\x98\x80", "\xed\xb2\x80",   // encoded surrogate
        "\xf4\x90\x80\x80", "\xc0\xaf", "a\xc3", "\xe2\x82", "\x80z\xff",
    };
    for (const QByteArray &n : names) {
        EXPECT_EQ(NativePath(PathFromNative(n)), n) << n.toHex().toStdString();
        if (QString::fromUtf8(n).toUtf8() == n) {
            EXPECT_EQ(PathFromNative(n), QString::fromUtf8(n)) << n.toHex().toStdString();
        }
    }
    EXPECT_EQ(NativePath(QString::fromUtf8("\xf0\x9f\x98\x80/\xc3\xa9")), "\xf0\x9f\x98\x80/\xc3\xa9");
}

TEST(WriteFileAtomically, LongAndOddNamesAndOnlyStaleTemporariesOfOursAreRemoved)
{
    TempProgram t;
    const QByteArray folder = QFile::encodeName(t.folder()) + "map\xe9";
    ASSERT_EQ(::mkdir(folder.constData(), 0777), 0);
    struct Entry { QByteArray name; bool old, held, removed; };
    const std::vector<Entry> entries = {
        {".a.txt.Xy12Zw.part", true, false, true},
        {"." + QByteArray(242, 'n') + ".Xy12Zw.part", true, false, true},   // a shortened one
        {".a.txt.Xy12Zw.part.", true, false, false},
        {".a.txt.Xy12Z!.part", true, false, false},
        {".a.txt.Xy12Z.part", true, false, false},
        {"a.txt.Xy12Zw.part", true, false, false},   // not hidden
        {".a.txt.part", true, false, false},
        {".b.txt.Ab34Cd.part", false, false, false},  // written a moment ago
        {".c.txt.Ef56Gh.part", true, true, false},    // a running save holds it
    };
    std::vector<int> held;
    for (const Entry &e : entries) {
        const QByteArray p = folder + '/' + e.name;
        const int fd = ::open(p.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        if (e.held) {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
            held.push_back(fd);
        } else {
            ::close(fd);
        }
        if (e.old) {
            timeval tv[2];
            gettimeofday(&tv[0], nullptr);
            tv[0].tv_sec -= kStaleTemporarySeconds + 60;
            tv[1] = tv[0];
            ::utimes(p.constData(), tv);
        }
    }
    const QByteArray oldDir = folder + "/.d.txt.Ij78Kl.part";
    ::mkdir(oldDir.constData(), 0777);

    for (const QByteArray &name : {QByteArray(251, 'a') + ".txt", QByteArray("caf\xe9.txt")}) {
        const QString path = PathFromNative(folder + '/' + name);
        QString why;
        EXPECT_TRUE(WriteFileAtomically(path, "inhoud", &why)) << why.toStdString();
        QFile f;   // opened by its bytes: Qt cannot name every one of them
        const int fd = ::open((folder + '/' + name).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        EXPECT_EQ(f.readAll(), "inhoud");
    }
    for (const Entry &e : entries) {
        struct stat st;
        EXPECT_EQ(::lstat((folder + '/' + e.name).constData(), &st) != 0, e.removed) << e.name.left(20).constData();
    }
    EXPECT_EQ(::access(oldDir.constData(), F_OK), 0);
    for (int fd : held)
        ::close(fd);
    removeByBytes(folder);
}
