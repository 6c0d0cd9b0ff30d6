#include "common/locations.h"

#include "common/filez.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString g_exe;
QString g_temp;

QString withSlash(QString s)
{
    if (!s.isEmpty() && !s.endsWith('/'))
        s += '/';
    return s;
}

// No one else may have put a link in our private folder; should one be there
// all the same, it goes rather than be written through.
void removeLinks(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *e = ::readdir(dir)) {
        struct stat st;
        const QByteArray path = folder + '/' + e->d_name;
        if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(path.constData());
    }
    ::closedir(dir);
}

// The folder as our own private one: a real folder (not a link), ours, 0700.
bool makePrivate(const QByteArray &folder, QString &why)
{
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        why = DutchReason(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st;
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        why = QStringLiteral("geen eigen map");
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0) {
        why = DutchReason(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    removeLinks(folder);
    return true;
}

// When the state folder cannot be had, a fresh private folder for this run.
QString runFolder()
{
    static const QString folder = [] {
        QByteArray name = NativePath(QDir::tempPath()) + "/kvnscan-XXXXXX";
        return ::mkdtemp(name.data()) ? PathFromNative(name) : QString();
    }();
    return folder;
}
}

namespace Locations {

QString executablePath()
{
    if (!g_exe.isEmpty())
        return g_exe;
    QString p = QCoreApplication::applicationFilePath();
    if (p.isEmpty()) {
        // No application object (a library or tool): ask the kernel.
        p = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    }
    return p;
}

QString userProgramFolder()
{
    const QDir bin = QFileInfo(executablePath()).absoluteDir();
    if (bin.dirName() != QLatin1String("bin") || !QFileInfo(bin.filePath(QStringLiteral("../share/kvnscan"))).isDir())
        return {};
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the XDG rules say.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = QDir::cleanPath(config + QStringLiteral("/kvnscan"));
    QDir().mkpath(folder);
    return folder;
}

QString stateFolder()
{
    // A relative XDG_STATE_HOME is invalid and is ignored, as the XDG rules say.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    const QString folder = QDir::cleanPath(state + QStringLiteral("/kvnscan"));
    QDir().mkpath(state);
    QString why;
    if (makePrivate(NativePath(folder), why))
        return withSlash(folder);
    const QString instead = runFolder();
    LogText(QStringLiteral("Map [") + folder + QStringLiteral("] niet bruikbaar (") + why
            + QStringLiteral("); de laatste scan staat deze keer in [") + instead + QStringLiteral("]."));
    return withSlash(instead);
}

QString tempFolder()
{
    if (!g_temp.isEmpty())
        return g_temp;
    return stateFolder();
}

void overrideExecutablePath(const QString &path) { g_exe = path; }
void overrideTempFolder(const QString &folder) { g_temp = withSlash(folder); }

}
