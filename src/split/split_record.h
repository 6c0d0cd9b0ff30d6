#pragma once
// kvnscan-split --record: the facts of every card into its pictures, and the
// index and GEDCOM of the folder brought up to date.
#include "records/card_index.h"

#include <QString>
#include <QStringList>

// Adds records to "kaarten.csv" in folder (made with its header when missing)
// and writes "kaarten.ged" anew from the whole index; written gets both paths.
// Each file is replaced whole or left as it was. False with why (Dutch) when not.
bool UpdateCardIndex(const QString &folder, const QList<CardRecord> &records, QStringList &written, QString &why);
