#pragma once
// The index of saved cards ("kaarten.csv": UTF-8 with a BOM, ';'-separated, one
// header line, a row per card) and the GEDCOM file made from it ("kaarten.ged").
#include "records/card_facts.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct CardRecord {
    QString file;  // the joined picture's name
    QString front; // side files' names, or empty
    QString back;
    CardFacts facts;
    QString sameAs; // the file this card duplicates, or empty
    QString text;   // the whole text of the card
};

// The header line's columns, in their order.
const QStringList &CardIndexColumns();

// The index with rows added behind those already in it: existing is the file's
// bytes (empty for a new index). Rows it cannot read are kept as they are.
QByteArray CardIndexWithRows(const QByteArray &existing, const QList<CardRecord> &added);

// Every card row of an index.
QList<CardRecord> ReadCardIndex(const QByteArray &index);

// A GEDCOM 5.5.1 file of every card: the person, the partner joined by a family,
// the picture as a multimedia link.
QByteArray GedcomOfCards(const QList<CardRecord> &cards);

// An ISO date (1899-11-02, 1899-11, 1899) in GEDCOM form (2 NOV 1899); empty when it is none.
QString GedcomDate(const QString &iso);
