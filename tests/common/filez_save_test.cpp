#include "common/filez.h"
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>

namespace {
// The stream's file swapped for /dev/full: the bytes meet a full disk when they go out.
bool ontoFullDisk(FILE *f)
{
    const int full = ::open("/dev/full", O_WRONLY);
    const bool swapped = full >= 0 && ::dup2(full, fileno(f)) >= 0;
    ::close(full);
    return swapped && std::fwrite("pixels", 1, 6, f) == 6;
}
}

TEST(ReplacingSave, EveryFailureKeepsTheOldFileAndSaysTheSystemsReason)
{
    TempProgram t;
    ASSERT_TRUE(QDir().mkpath(t.path("map/inhoud")));
    ASSERT_TRUE(QFile::link(t.path("rond2"), t.path("rond1")) && QFile::link(t.path("rond1"), t.path("rond2")));
    const auto plain = [](FILE *f) { return std::fwrite("pixels", 1, 6, f) == 6; };
    struct Case {
        const char *name;
        std::function<bool(FILE *)> encode;   // empty: the bytes at once
        std::function<bool(const QString &)> finish;
        int error;
        const char *reason;
    } cases[] = {
        {"oud.JPG", ontoFullDisk, {}, ENOSPC, "schrijven mislukt: Geen ruimte meer op het opslagmedium"},
        {"oud.txt", {}, {}, EFBIG, "schrijven mislukt: Bestand te groot"},   // past the file-size limit below
        {"oud.TIF", plain, [](const QString &) { return false; }, EIO, "afronden mislukt: Invoer-/uitvoerfout"},
        {"geen/map.JPG", plain, {}, ENOENT, "aanmaken mislukt: Bestand of map bestaat niet"},
        {"map", plain, {}, EISDIR, "aanmaken mislukt: Is een map"},
        {"rond1", plain, {}, ELOOP, "aanmaken mislukt: Te veel niveaus van symbolische koppelingen"},
        {"", plain, {}, ENOENT, "aanmaken mislukt: lege bestandsnaam"},
    };
    for (const Case &c : cases) {
        const QString path = c.name[0] ? t.path(c.name) : QString();
        if (QByteArray(c.name).startsWith("oud"))
            writeAll(path, "oude inhoud");
        ReplacingSave save(path);
        bool ok;
        if (c.encode) {
            ok = save.write(c.encode) && save.commit(c.finish);
        } else {
            TinyFileLimit limit(4);
            ok = save.write(QByteArray(5000, 'x')) && save.commit();
        }
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(save.error(), c.error) << c.name;
        EXPECT_EQ(save.reason(), c.reason) << c.name;
        if (QByteArray(c.name).startsWith("oud"))
            EXPECT_EQ(readAll(path), "oude inhoud") << c.name;
    }
    // No temporary file stays behind.
    EXPECT_EQ(QDir(t.folder()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(ReplacingSave, ALinkStaysALinkAndTheFileItNamesIsReplaced)
{
    TempProgram t;
    ASSERT_TRUE(QDir().mkpath(t.path("echt")) && QDir().mkpath(t.path("doel")));
    writeAll(t.path("echt/kaart.JPG"), "oud");
    struct Case {
        const char *link, *to, *file;   // to relative to the link's folder
        int files;                       // in the real folder afterwards
    } cases[] = {
        {"doel/kaart.JPG", "../echt/kaart.JPG", "echt/kaart.JPG", 1},
        {"doel/nieuw.JPG", "../echt/nieuw.JPG", "echt/nieuw.JPG", 2},   // a dangling link: the file is made
        {"doel/keten.JPG", "kaart.JPG", "echt/kaart.JPG", 2},           // a link to a link
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(QFile::link(c.to, t.path(c.link)));
        ReplacingSave save(t.path(c.link));
        EXPECT_TRUE(save.write(QByteArray(c.link)) && save.commit()) << save.reason().toStdString();
        EXPECT_TRUE(QFileInfo(t.path(c.link)).isSymLink()) << c.link;
        EXPECT_EQ(QFileInfo(t.path(c.link)).canonicalFilePath(), QFileInfo(t.path(c.file)).canonicalFilePath());
        EXPECT_EQ(readAll(t.path(c.file)), c.link);
        // Written beside the file it names: nothing of ours stays in either folder.
        EXPECT_EQ(QDir(t.path("echt")).entryList(QDir::Files | QDir::Hidden).size(), c.files) << c.link;
    }
}
