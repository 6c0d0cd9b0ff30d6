#include "records/card_index_file.h"

#include "common/filez.h"

#include <QFile>

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
