#pragma once
// The facts a memorial card's back tells about the person: read from its text
// by a small grammar of the wordings these cards use. Nothing is invented: a
// fact that is not printed stays empty, and one read with doubt is kept but
// named in `uncertain`.
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

struct CardFacts {
    QString givenNames;   // "Johannes Hendrikus"
    QString infix;        // "van den"
    QString surname;      // "Berg"
    QString sex;          // "M", "V" or empty
    QString partner;      // the partner's whole name
    QString relation;     // echtgenoot, echtgenote, weduwe, weduwnaar
    QString birthDate;    // ISO: 1899-11-02, 1899-11 or 1899
    QString birthPlace;
    QString deathDate;
    QString deathPlace;
    QString age;          // years, as printed
    QStringList uncertain; // column names of the facts read with doubt, in column order
    QHash<QString, QString> reasons; // column -> why it is doubted, in Dutch

    QString fullName() const;
    bool isUncertain(const QString &column) const { return uncertain.contains(column); }
};

// The index's columns for the facts, in their order.
const QStringList &CardFactColumns();
// A fact by its column name ("voornamen", "geboortedatum", ...); empty for an unknown column.
QString CardFactValue(const CardFacts &facts, const QString &column);
void SetCardFactValue(CardFacts &facts, const QString &column, const QString &value);

// Reads the facts from the text of a back. doubtfulWords are the words the
// reading engine itself doubted: a fact holding one of them is uncertain.
CardFacts ReadCardFacts(const QString &text, const QSet<QString> &doubtfulWords = {});

// The card's title in pictures and the index: "Bidprentje van <naam> (<geboortejaar>–<overlijdensjaar>)".
QString CardTitle(const CardFacts &facts);
// The card's subjects: "bidprentje" and the surname.
QStringList CardSubjects(const CardFacts &facts);

// A person's whole name split into given names, infix and surname, as on a card.
void SplitPersonName(const QString &name, CardFacts &into);

// A date as the grammar reads it, "2 november 1899", "5-6-1921", "12.3.1890",
// "nov. 1899" or "1899", to ISO form; empty when the text holds no date.
// valid is false for a date that cannot exist (31 februari, month 13).
QString IsoDate(const QString &text, bool *valid = nullptr);
