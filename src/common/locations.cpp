#include "common/locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString g_exe;
QString g_temp;

QString withSlash(QString s)
{
    if (!s.isEmpty() && !s.endsWith('/'))
        s += '/';
    return s;
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

QString tempFolder()
{
    if (!g_temp.isEmpty())
        return g_temp;
    return withSlash(QDir::tempPath());
}

void overrideExecutablePath(const QString &path) { g_exe = path; }
void overrideTempFolder(const QString &folder) { g_temp = withSlash(folder); }

}
