#include "records/card_index_file.h"

#include "common/filez.h"
#include "records/card_naming.h"

#include <QFile>
#include <QHash>
#include <QImageReader>

bool UpdateCardIndex(const QString &folder, const QList<CardRecord> &records, QStringList &written, QString &why)
{
    const QString index = folder + QStringLiteral("/kaarten.csv"), gedcom = folder + QStringLiteral("/kaarten.ged");
    QByteArray before;
    QFile file;
    if (OpenForReading(file, index))
        before = file.readAll();
    const QByteArray after = CardIndexWithRows(before, records);
    QString reason;
    if (!WriteFileAtomically(index, after, &reason)) {
        why = QStringLiteral("kan [%1] niet schrijven (%2)").arg(index, reason);
        return false;
    }
    written << index;
    if (!WriteFileAtomically(gedcom, GedcomOfCards(ReadCardIndex(after)), &reason)) {
        why = QStringLiteral("kan [%1] niet schrijven (%2)").arg(gedcom, reason);
        return false;
    }
    written << gedcom;
    return true;
}

namespace {

QString FrontsPath(const QString &folder) { return folder + QStringLiteral("/.kaarten-voorkanten"); }

QByteArray ReadWhole(const QString &path)
{
    QFile file;
    return OpenForReading(file, path) ? file.readAll() : QByteArray();
}

// A picture read at a small size: its likeness needs no more, and a large front decodes faster so.
QImage SmallPicture(const QString &path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && size.width() > 512)
        reader.setScaledSize(size.scaled(512, 512, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

QList<FrontLikeness> SavedFronts(const QString &folder)
{
    // One line a front: the fingerprint in hex, ';', the file's name. A later line of a name wins.
    QHash<QString, uint64_t> kept;
    QStringList order;
    for (const QByteArray &line : ReadWhole(FrontsPath(folder)).split('\n')) {
        const qsizetype split = line.indexOf(';');
        bool ok = false;
        const uint64_t hash = line.left(split).toULongLong(&ok, 16);
        const QString file = QString::fromUtf8(line.mid(split + 1)).trimmed();
        if (split <= 0 || !ok || file.isEmpty() || file.contains(QLatin1Char('/')))
            continue;
        if (!kept.contains(file))
            order << file;
        kept[file] = hash;
    }
    QList<FrontLikeness> fronts;
    for (const QString &file : order)
        if (SafeFileExists(folder + QLatin1Char('/') + file))
            fronts.push_back({file, kept[file]});
    QList<FrontLikeness> made;
    for (const CardRecord &row : ReadCardIndex(ReadWhole(folder + QStringLiteral("/kaarten.csv")))) {
        if (kept.contains(row.file) || row.front.isEmpty() || row.front.contains(QLatin1Char('/')))
            continue;
        const QImage front = SmallPicture(folder + QLatin1Char('/') + row.front);
        if (!front.isNull() && SafeFileExists(folder + QLatin1Char('/') + row.file))
            made.push_back({row.file, LikenessHash(front)});
    }
    // Kept for the next series, which then decodes none of them; a list that cannot be written is made again then.
    QString ignored;
    AddSavedFronts(folder, made, ignored);
    return fronts + made;
}

bool AddSavedFronts(const QString &folder, const QList<FrontLikeness> &added, QString &why)
{
    if (added.isEmpty())
        return true;
    QByteArray bytes = ReadWhole(FrontsPath(folder));
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    for (const FrontLikeness &f : added)
        bytes += QByteArray::number(qulonglong(f.hash), 16) + ';' + f.file.toUtf8() + '\n';
    QString reason;
    if (WriteFileAtomically(FrontsPath(folder), bytes, &reason))
        return true;
    why = QStringLiteral("kan [%1] niet schrijven (%2)").arg(FrontsPath(folder), reason);
    return false;
}

QString SameFrontAs(const QList<FrontLikeness> &known, uint64_t hash)
{
    // The nearest: of two alike cards saved before, the one this is a rescan of.
    const FrontLikeness *nearest = nullptr;
    for (const FrontLikeness &f : known)
        if (SameLikeness(f.hash, hash) && (!nearest || LikenessDistance(f.hash, hash) < LikenessDistance(nearest->hash, hash)))
            nearest = &f;
    return nearest ? nearest->file : QString();
}
