#pragma once
// The index and GEDCOM of a target folder brought up to date with the cards
// just saved into it.
#include "records/card_index.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Adds records to "kaarten.csv" in folder (made with its header when missing)
// and writes "kaarten.ged" anew from the whole index; written gets both paths.
// Each file is replaced whole or left as it was. False with why (Dutch) when not.
bool UpdateCardIndex(const QString &folder, const QList<CardRecord> &records, QStringList &written, QString &why);

// The fingerprint of a saved card's front (LikenessHash), by the joined file's name.
struct FrontLikeness {
    QString file;
    uint64_t hash = 0;
};

// The fronts saved before in folder: those kept beside the index (".kaarten-voorkanten")
// whose file is still there, and for index rows with a front side file not kept
// there (a card saved by the command line) that front's fingerprint, made afresh
// and added to the list.
QList<FrontLikeness> SavedFronts(const QString &folder);
// Adds fronts to the list beside the index, replacing it whole. False with why (Dutch).
bool AddSavedFronts(const QString &folder, const QList<FrontLikeness> &added, QString &why);
// The file of the known front nearest to hash among those like it; empty when none is.
QString SameFrontAs(const QList<FrontLikeness> &known, uint64_t hash);
