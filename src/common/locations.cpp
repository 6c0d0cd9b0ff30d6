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

QString tempFolder()
{
    if (!g_temp.isEmpty())
        return g_temp;
    return withSlash(QDir::tempPath());
}

void overrideExecutablePath(const QString &path) { g_exe = path; }
void overrideTempFolder(const QString &folder) { g_temp = withSlash(folder); }

}
