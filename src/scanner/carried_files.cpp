#include "scanner/carried_files.h"

#include "common/filez.h"
#include "scanner/scanner_library.h"

#include <QFile>
#include <QFileInfo>

QByteArray CarriedResource(const QString &name)
{
    QFile f(QStringLiteral(":/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool WriteCarriedFile(const QByteArray &data, const QString &path)
{
    if (data.isNull())
        return false;
    // Written beside it and renamed over it: the old inode stays intact for
    // whoever still maps it.
    if (!WriteFileAtomically(path, data))
        return false;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOwner | QFile::WriteOwner
                                    | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                    | QFile::ReadOther | QFile::ExeOther);
    return true;
}

namespace {

bool SameBytes(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return !data.isNull() && f.open(QIODevice::ReadOnly) && f.size() == data.size() && f.readAll() == data;
}

} // namespace

void EnsureCarriedFiles(const CarriedSource &source)
{
    BindScannerLibrary();
    const QString library = ProgramFolder() + QStringLiteral("eztw32.dll");
    bool write = !QFileInfo::exists(library);
    if (!write) {
        int version = 0;
        CallScannerLibrary(QStringLiteral("versie nagaan"), [&version] { version = scannerLibrary().EasyVersion(); });
        // An unloadable file answers 0 and so counts as outdated too.
        write = version < kCurrentScannerLibraryVersion;
    }
    if (write) {
        if (!WriteCarriedFile(source(QStringLiteral("EZTW32")), library))
            qWarning("KVNscan: cannot write %s", qUtf8Printable(library));
        BindScannerLibrary();
    }

    const QString help = ProgramFolder() + QStringLiteral("kvnscan.chm");
    if (!QFileInfo::exists(help) || FileSizeOf(help) < kHelpFileMinimumSize) {
        // Our own help file is far below that size: one equal to it stays as it is.
        const QByteArray carried = source(QStringLiteral("KVNSCANCHM"));
        if (!SameBytes(help, carried)) {
            if (QFileInfo::exists(help))
                QFile::remove(help);
            if (!WriteCarriedFile(carried, help))
                qWarning("KVNscan: cannot write %s", qUtf8Printable(help));
        }
    }
}
