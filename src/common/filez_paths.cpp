// Program locations and path names.
#include "common/filez.h"
#include "common/locations.h"

#include <QDir>
#include <QFileInfo>

QString WithTrailingBackslash(const QString &text)
{
    if (text.isEmpty() || text.endsWith(QLatin1Char('/')))
        return text;
    return text + QLatin1Char('/');
}

QString ProgramFolder()
{
    const QString exe = Locations::executablePath();
    if (exe.isEmpty())
        return {};
    const QString user = Locations::userProgramFolder();
    return WithTrailingBackslash(ExpandLongPath(user.isEmpty() ? QFileInfo(exe).absolutePath() : user));
}

QString SettingsFileName()
{
    const QString exe = Locations::executablePath();
    // Only the file name is looked at: an ".exe" in a folder name would send the
    // settings to a folder that does not exist, under the executable's own name.
    const int slash = int(exe.lastIndexOf('/')) + 1;
    QString name = exe.mid(slash);
    const QString original = name;
    ReplaceFirstText(name, QStringLiteral(".exe"), QStringLiteral(".ini"), false);
    // Without ".exe" the settings would otherwise be written over the executable.
    if (name == original)
        name += QStringLiteral(".ini");
    const QString user = Locations::userProgramFolder();
    return (user.isEmpty() ? exe.left(slash) : WithTrailingBackslash(user)) + name;
}

QString TempFolder() { return Locations::tempFolder(); }

namespace {
// The entry's name as the folder stores it: the same on a case-sensitive file
// system, possibly another case on a mounted FAT or NTFS volume.
QString storedName(const QString &folder, const QString &component)
{
    if (component == QLatin1String(".") || component == QLatin1String(".."))
        return component;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (names.contains(component))
        return component;
    for (const QString &n : names) {
        if (n.compare(component, Qt::CaseInsensitive) == 0)
            return n;
    }
    return component;
}
}

QString ExpandLongPath(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString full = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (path.endsWith(QLatin1Char('/')) && !full.endsWith(QLatin1Char('/')))
        full += QLatin1Char('/');
    QString result = QStringLiteral("/");
    QString rest = full.mid(1);
    while (!rest.isEmpty()) {
        const int slash = rest.indexOf(QLatin1Char('/'));
        const QString component = slash < 0 ? rest : rest.left(slash);
        const QFileInfo info(result + component);
        if (!info.exists() && !info.isSymLink()) {
            result += rest;
            break;
        }
        result += storedName(result, component);
        if (slash >= 0)
            result += QLatin1Char('/');
        rest = slash < 0 ? QString() : rest.mid(slash + 1);
    }
    return result;
}

QString ShortPathOf(const QString &path)
{
    // There are no short (8.3) names here: an existing path is its own short form.
    if (SafeFileExists(path) || SafeDirectoryExists(path))
        return ExpandLongPath(path);
    if (!path.contains(QLatin1Char('.')))
        return {};
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return {};
    const QString folder = ShortPathOf(path.left(slash));
    if (folder.isEmpty())
        return {};
    return WithTrailingBackslash(folder) + path.mid(slash + 1);
}

SplitName SplitExtension(const QString &name)
{
    SplitName out;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        out.base = name;
        return out;
    }
    out.base = name.left(dot);
    const QString raw = name.mid(dot + 1);
    if (!raw.isEmpty())
        out.extension = QLatin1Char('.') + raw.left(3);
    return out;
}

bool EndsWithText(const QString &text, const QString &suffix)
{
    if (text.isEmpty() || suffix.size() > text.size())
        return false;
    const QString tail = text.right(suffix.size());
    for (int i = 0; i < suffix.size(); ++i) {
        QChar a = tail.at(i), b = suffix.at(i);
        if (a.unicode() < 128)
            a = a.toLower();
        if (b.unicode() < 128)
            b = b.toLower();
        if (a != b)
            return false;
    }
    return true;
}
