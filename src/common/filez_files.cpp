// Probing and writing files.
#include "common/filez.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cassert>

namespace {
QString absolute(const QString &path) { return QDir::current().absoluteFilePath(path); }

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
    if (!info.exists() || info.isDir())
        return 0;
    return info.size();
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
    if (path.isEmpty())
        return false;
    const QFileInfo info(absolute(path));
    return info.exists() && !info.isDir();
}

bool SafeDirectoryExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(absolute(path)).isDir();
}

bool CanCreateFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    QFile f(path);
    // NewOnly fails on an existing file instead of truncating it.
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    f.close();
    f.remove();
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
    auto fail = [&](const QString &step, const QSaveFile &f) {
        if (why) {
            *why = step;
            if (!f.errorString().isEmpty() && f.error() != QFileDevice::NoError)
                *why += QStringLiteral(": ") + DutchReason(f.errorString());
        }
        return false;
    };
    if (path.isEmpty()) {
        if (why)
            *why = QStringLiteral("lege bestandsnaam");
        return false;
    }
    QSaveFile f(path);
    // Unbuffered, so that a short write (full disk) shows in write()'s count:
    // a buffered QSaveFile can commit a cut-off file and report success.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("aanmaken mislukt"), f);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return fail(QStringLiteral("schrijven mislukt"), f);
    }
    if (!f.commit())
        return fail(QStringLiteral("afsluiten mislukt"), f);
    return true;
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
