#pragma once
// The index and GEDCOM of a target folder brought up to date with the cards
// just saved into it.
#include "records/card_index.h"

#include <QString>
#include <QStringList>

// Adds records to "kaarten.csv" in folder (made with its header when missing)
// and writes "kaarten.ged" anew from the whole index; written gets both paths.
// Each file is replaced whole or left as it was. False with why (Dutch) when not.
bool UpdateCardIndex(const QString &folder, const QList<CardRecord> &records, QStringList &written, QString &why);
