// Kills a writer with SIGKILL at random moments and checks that nothing the user
// keeps is ever damaged: pictures decode completely, no half-written file sits
// under a scan's name, and the settings file is the old or the new one.
#include "settings_variants.h"
#include "fakes/file_bytes.h"
#include "common/filez.h"
#include "scanwindow/card_files.h"

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
#include <sys/stat.h>
#include <sys/time.h>
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

namespace {
// Lists of cards being saved, made older than the rule for leftovers: the user comes back later.
int ageCardLists(const QString &folder)
{
    int lists = 0;
    for (const QString &name : QDir(folder).entryList({".*.card"}, QDir::Files | QDir::Hidden)) {
        const QByteArray path = NativePath(folder + '/' + name);
        const timeval old[2] = {{time(nullptr) - kStaleTemporarySeconds - 60, 0}, {time(nullptr) - kStaleTemporarySeconds - 60, 0}};
        ::utimes(path.constData(), old);
        ++lists;
    }
    return lists;
}

// Numbers whose four files (picture, both sides, text) are not all there;
// with check, every picture is also decoded.
QStringList halfCards(const QString &folder, int &whole, bool check = false)
{
    QMap<QString, int> parts;
    const QRegularExpression file("^(kaart\\d{3,})(\\.JPG|-voorkant\\.JPG|-achterkant\\.JPG|\\.txt)$");
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const auto m = file.match(name);
        EXPECT_TRUE(m.hasMatch()) << "stray file " << name.toStdString();
        if (m.hasMatch())
            ++parts[m.captured(1)];
        if (check && name.endsWith(".JPG"))
            EXPECT_TRUE(jpegComplete(folder + '/' + name)) << "damaged " << name.toStdString();
    }
    QStringList half;
    whole = 0;
    for (auto it = parts.begin(); it != parts.end(); ++it)
        if (it.value() == 4)
            ++whole;
        else
            half << it.key();
    return half;
}
}

TEST(CrashSafety, KilledCardSaveIsCleanedByTheNextSaveAndNoNumberIsSkipped)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    QRandomGenerator rng(4242);
    const int kills = 60;
    int halfSeen = 0, whole = 0;
    for (int i = 0; i < kills; ++i) {
        QProcess p;
        p.start(QStringLiteral(KVN_CARD_WRITER), {folder});
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(300 + rng.bounded(500));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        halfSeen += int(!halfCards(folder, whole).isEmpty());
        ageCardLists(folder);   // the next run cleans what this one left half
    }
    RemoveHalfSavedCards(folder);
    EXPECT_EQ(halfCards(folder, whole, true).join(' ').toStdString(), "");
    EXPECT_EQ(QDir(folder).entryList({".*.card"}, QDir::Files | QDir::Hidden).join(' ').toStdString(), "");
    // Every number up to the last is a whole card.
    EXPECT_GT(whole, 10);
    for (int n = 1; n <= whole; ++n)
        EXPECT_TRUE(QFile::exists(folder + QString("/kaart%1.JPG").arg(n, 3, 10, QChar('0')))) << n;
    std::printf("crash safety (cards): %d kills, %d left a half card until the next save, %d whole cards\n", kills,
                halfSeen, whole);
}
