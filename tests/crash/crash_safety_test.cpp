// Kills a writer with SIGKILL at random moments and checks that nothing the user
// keeps is ever damaged: pictures decode completely, no half-written file sits
// under a scan's name, and the settings file is the old or the new one.
#include "settings_variants.h"
#include "fakes/file_bytes.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace {
const int kKills = 200;

void killAtRandom(const QStringList &args, int kills, int maxDelayMs)
{
    QRandomGenerator rng(12345);
    for (int i = 0; i < kills; ++i) {
        QProcess p;
        p.start(QStringLiteral(KVN_CRASH_WRITER), args);
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(rng.bounded(maxDelayMs));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
    }
}

bool jpegComplete(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 4)
        return false;
    QByteArray bytes = f.readAll();
    if (!bytes.endsWith("\xFF\xD9"))
        return false;
    QImageReader r(path);
    QImage img = r.read();
    return !img.isNull();
}
}

TEST(CrashSafety, KilledSeriesSaveNeverLeavesADamagedPicture)
{
    QTemporaryDir dir;
    killAtRandom({"series", dir.path()}, kKills, 400);
    int checked = 0, damaged = 0;
    for (const QFileInfo &fi : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
        if (fi.fileName().startsWith('.'))
            continue;  // hidden work files are no scans
        EXPECT_TRUE(QRegularExpression("^document\\d{3}\\.JPG$").match(fi.fileName()).hasMatch())
            << "stray file " << fi.fileName().toStdString();
        ++checked;
        if (!jpegComplete(fi.filePath())) {
            ++damaged;
            ADD_FAILURE() << "damaged " << fi.fileName().toStdString();
        }
    }
    // Enough finished saves that the kills met every stage; a sanitized writer is
    // several times slower, so fewer saves finish between kills there.
#ifdef __SANITIZE_ADDRESS__
    EXPECT_GT(checked, 5);
#else
    EXPECT_GT(checked, 20);
#endif
    EXPECT_EQ(damaged, 0);
    RecordProperty("files_checked", checked);
    std::printf("crash safety (series): %d kills, %d files checked, %d damaged\n", kKills, checked, damaged);
}

TEST(CrashSafety, KilledSettingsWriteLeavesOldOrNewFile)
{
    QTemporaryDir dir;
    QString path = dir.filePath("KVNscan.ini");
    const QByteArray a = SettingsVariant(0).toBytes(), b = SettingsVariant(1).toBytes();
    int mixed = 0, checks = 0;
    QRandomGenerator rng(777);
    for (int i = 0; i < kKills; ++i) {
        QProcess p;
        p.start(QStringLiteral(KVN_CRASH_WRITER), {"settings", path});
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(rng.bounded(120));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        if (!QFile::exists(path))
            continue;  // killed before the first write finished
        const QByteArray got = readAll(path);
        ++checks;
        if (got != a && got != b)
            ++mixed;
    }
    EXPECT_GT(checks, kKills / 2);
    EXPECT_EQ(mixed, 0);
    std::printf("crash safety (settings): %d kills, %d checks, %d mixed\n", kKills, checks, mixed);
}
