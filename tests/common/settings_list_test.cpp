#include "common/filez.h"
#include "common/settings_list.h"
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"
#include "log_capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(SettingsList, NamesIgnoreCaseAndFirstMatchWins)
{
    SettingsList s;
    s.loadFromBytes("Doelmap=/a\r\ndoelmap=/b\r\nfoto=x=y\r\nzonder gelijkteken\r\n");
    EXPECT_EQ(s.value("DOELMAP"), "/a");
    EXPECT_EQ(s.value("foto"), "x=y");
    EXPECT_EQ(s.value("ontbreekt"), "");
    EXPECT_FALSE(s.contains("zonder gelijkteken"));

    s.setValue("doelmap", "/c");
    EXPECT_EQ(s.lines().at(0), "Doelmap=/c");
    EXPECT_EQ(s.lines().at(1), "doelmap=/b");
    s.setValue("nieuw", "1");
    EXPECT_EQ(s.lines().last(), "nieuw=1");
    s.setValue("DoelMap", "");
    EXPECT_EQ(s.value("doelmap"), "/b");  // only the first line goes
    EXPECT_EQ(s.lines().size(), 4);
}

TEST(SettingsList, FileRoundTripsByteForByte)
{
    TempProgram t;
    const QByteArray bytes = "scandocformdoelmap=/home/jan/Scans\nonbekend=blijft\n\n"
                             "plaats=Zoë's=huis\nscanform_top=12\n";
    const QString path = t.path("KVNscan.ini");
    writeAll(path, bytes);
    SettingsList s;
    ASSERT_TRUE(s.loadFromFile(path));
    EXPECT_EQ(s.value("plaats"), QString::fromUtf8("Zoë's=huis"));
    ASSERT_TRUE(s.saveToFile(path));
    EXPECT_EQ(readAll(path), bytes);
}

TEST(SettingsList, ReadsCrLfAndLatin1AndWritesLfUtf8)
{
    SettingsList s;
    s.loadFromBytes("a=1\r\nb=caf\xe9\r\r\n");  // Latin-1 'é' is not valid UTF-8
    EXPECT_EQ(s.value("b"), QString::fromUtf8("café"));
    EXPECT_EQ(s.toBytes(), QByteArray("a=1\nb=caf\xc3\xa9\n"));

    s.loadFromBytes("last=no line end");
    EXPECT_EQ(s.value("last"), "no line end");
    EXPECT_EQ(s.lines().size(), 1);
}

TEST(SettingsList, FailedSaveKeepsOldFileAndLogs)
{
    TempProgram t;
    LogCapture log;
    SettingsList s;
    s.setValue("a", "nieuw");
    // A missing folder cannot take the temporary file.
    EXPECT_FALSE(s.saveToFile(t.path("weg/KVNscan.ini")));
    ASSERT_EQ(LogCapture::lines().size(), 1);
    EXPECT_TRUE(LogCapture::lines().at(0).contains("weg/KVNscan.ini"));

    // A directory in the file's place is not replaced either.
    const QString dir = t.path("bezet.ini");
    ASSERT_TRUE(QDir().mkpath(dir + "/inhoud"));
    EXPECT_FALSE(s.saveToFile(dir));
    EXPECT_TRUE(QFileInfo(dir + "/inhoud").isDir());
}

TEST(SettingsList, LoadOfMissingFileFailsAndKeepsList)
{
    TempProgram t;
    SettingsList s;
    s.setValue("a", "1");
    EXPECT_FALSE(s.loadFromFile(t.path("nergens.ini")));
    EXPECT_EQ(s.value("a"), "1");
}

TEST(SettingsList, ALinkInTheSettingsPlaceIsNeverWrittenThrough)
{
    TempProgram t;
    LogCapture log;
    const QByteArray system = "root:x:0:0\r\n";
    writeAll(t.path("passwd"), system);
    SettingsList s;
    s.setValue("dpi", "300");
    // Whatever the link names (a file, nothing, a link again), the link and its target stay as they were.
    for (const QString &target : {t.path("passwd"), t.path("nergens"), t.path("schakel.ini")}) {
        const QString link = t.path("KVNscan.ini");
        QFile::remove(link);
        if (target.endsWith("schakel.ini"))
            ASSERT_TRUE(QFile::link(t.path("passwd"), target));
        ASSERT_TRUE(QFile::link(target, link));
        QString why;
        EXPECT_FALSE(s.saveToFile(link, &why)) << target.toStdString();
        EXPECT_EQ(why, "aanmaken mislukt: het is een symbolische koppeling");
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
        EXPECT_EQ(readAll(t.path("passwd")), system);
        EXPECT_FALSE(QFileInfo::exists(t.path("nergens")));
    }
    EXPECT_EQ(LogCapture::lines().size(), 3);
}
