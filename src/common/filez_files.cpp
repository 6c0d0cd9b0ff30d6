// Probing and writing files.
#include "common/filez.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString absolute(const QString &path) { return QDir::current().absoluteFilePath(path); }

// The path's entry after links, by its bytes: Qt cannot name every file.
bool statPath(const QString &path, struct stat &st)
{
    return !path.isEmpty() && ::stat(NativePath(absolute(path)).constData(), &st) == 0;
}

// First and last 100 characters, so a log entry shows what was lost without the whole text.
QString excerpt(const QString &text)
{
    return QStringLiteral("[") + text.left(100) + QStringLiteral("\r\n...\r\n") + text.right(100)
        + QStringLiteral("]");
}
}

qint64 FileSizeOf(const QString &path)
{
    if (path.isEmpty())
        return 0;
    const QFileInfo info(absolute(path));
    const QString name = info.fileName();
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) {
        const QFileInfoList hits = QDir(info.absolutePath())
            .entryInfoList(QStringList{name}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
        if (hits.isEmpty())
            return 0;
        return hits.first().isDir() ? 0 : hits.first().size();
    }
    struct stat st;
    return statPath(path, st) && !S_ISDIR(st.st_mode) ? qint64(st.st_size) : 0;
}

int DriveTypeOf(const QString &) { return 3; }  // no drive letters: everything counts as fixed

bool DriveReady(const QString &drive)
{
    const QChar c = drive.isEmpty() ? QChar() : drive.at(0);
    assert(((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')))
           && "filez: DriveReady needs a drive letter");
    (void)c;
    return true;
}

bool SafeFileExists(const QString &path)
{
    struct stat st;
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

bool SafeDirectoryExists(const QString &path)
{
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool CanCreateFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = NativePath(path);
    // O_EXCL fails on an existing file instead of truncating it.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(native.constData());
    return true;
}

bool CanWriteCurrentFolder()
{
    const QString probe = QDir::current().absoluteFilePath(QStringLiteral("testwrit.txt"));
    if (CanCreateFile(probe))
        return true;
    if (!QFileInfo::exists(probe))
        return false;
    // Someone's own "testwrit.txt" is there: probe with a name of our own instead.
    QTemporaryFile t(QDir::current().absoluteFilePath(QStringLiteral("testwrit-XXXXXX.txt")));
    return t.open();
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *why)
{
    ReplacingSave save(path);
    if (save.write(bytes) && save.commit())
        return true;
    if (why)
        *why = save.reason();
    return false;
}

bool WriteTextFile(const QString &text, const QString &fileName)
{
    if (fileName.isEmpty()) {
        LogText(QStringLiteral("fout #fn1 (lege bestandsnaam):\r\n\r\n") + excerpt(text));
        return false;
    }
    QString why;
    if (!WriteFileAtomically(fileName, (text + QStringLiteral("\r\n")).toUtf8(), &why)) {
        LogText(QStringLiteral("Kon [") + fileName + QStringLiteral("] niet schrijven (") + why
                + QStringLiteral(").\r\n\r\n") + excerpt(text));
        return false;
    }
    return true;
}
