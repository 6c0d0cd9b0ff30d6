// Program locations and path names.
#include "common/filez.h"
#include "common/locations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString DefaultTargetFolder()
{
    if (Locations::userProgramFolder().isEmpty())
        return ProgramFolder();
    // Qt reads the desktop's user-dirs.dirs as xdg-user-dir does.
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty() || !SafeDirectoryExists(pictures))
        pictures = QDir::homePath();
    return WithTrailingBackslash(WithTrailingBackslash(pictures) + QStringLiteral("KVNscan"));
}

QString TempFolder() { return Locations::tempFolder(); }

namespace {
// The entry's name as the folder stores it: the same on a case-sensitive file
// system, possibly another case on a mounted FAT or NTFS volume.
QString storedName(const QString &folder, const QString &component)
{
    if (component == QLatin1String(".") || component == QLatin1String(".."))
        return component;
    QString found = component;
    bool exact = false;
    if (DIR *dir = ::opendir(NativePath(folder).constData())) {
        const dirent *e;
        while (!exact && (e = ::readdir(dir))) {
            const QString n = PathFromNative(QByteArray(e->d_name));
            exact = n == component;
            if (!exact && found == component && n.compare(component, Qt::CaseInsensitive) == 0)
                found = n;
        }
        ::closedir(dir);
    }
    return exact ? component : found;
}

bool entryExists(const QString &path)
{
    struct stat st;
    return ::lstat(NativePath(path).constData(), &st) == 0;
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
        if (!entryExists(result + component)) {
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

namespace {
// Length of the well-formed UTF-8 character at p (n bytes left), 0 when there is none.
int utf8Length(const uchar *p, qsizetype n)
{
    const uchar c = p[0];
    if (c < 0x80)
        return 1;
    int len;
    uint lo = 0x80, hi = 0xBF;   // limits of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;   // no overlong forms
        else if (c == 0xED)
            hi = 0x9F;   // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;   // nothing above U+10FFFF
    } else
        return 0;
    if (n < len || p[1] < lo || p[1] > hi)
        return 0;
    for (int i = 2; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    }
    return len;
}

bool escapedByte(const QChar *p, qsizetype i)
{
    return p[i].unicode() >= 0xDC80 && p[i].unicode() <= 0xDCFF && (i == 0 || !p[i - 1].isHighSurrogate());
}
}

QByteArray NativePath(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    const QChar *p = path.constData();
    qsizetype run = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!escapedByte(p, i))
            continue;
        out += QStringView(p + run, i - run).toUtf8();
        out += char(p[i].unicode() - 0xDC00);
        run = i + 1;
    }
    out += QStringView(p + run, path.size() - run).toUtf8();
    return out;
}

QString PathFromNative(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const uchar *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype run = 0, i = 0;
    while (i < n) {
        const int len = utf8Length(p + i, n - i);
        if (len > 0) {
            i += len;
            continue;
        }
        out += QString::fromUtf8(bytes.constData() + run, i - run);
        out += QChar(0xDC00 + p[i]);
        run = ++i;
    }
    out += QString::fromUtf8(bytes.constData() + run, n - run);
    return out;
}

QStringList EntryNames(const QString &folder, bool subfolders)
{
    QStringList names;
    const QByteArray native = NativePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        const QByteArray path = native + '/' + e->d_name;
        if (::stat(path.constData(), &st) == 0 && (subfolders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
            names << PathFromNative(QByteArray(e->d_name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

bool OpenForReading(QFile &file, const QString &path)
{
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

bool CreateFolder(const QString &path) { return !path.isEmpty() && ::mkdir(NativePath(path).constData(), 0777) == 0; }
