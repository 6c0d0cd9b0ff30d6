#pragma once
// User-visible words in four languages (0 Dutch, 1 English, 2 German, 3 French).
#include <QString>
#include <array>

using TermTable = std::array<const char *, 4>;  // UTF-8; empty entry = no wording

extern int LanguageIndex;
extern QString DefaultProductName;
extern QString LineBreakMarker;

QString ProductName();
QString Term(const TermTable &table, int language = -1);
QString TermWith(const TermTable &table, const QString &text);
QString JoinWords(const QString &first, const QString &second);
QString ExpandPlaceholders(const QString &text);

// The terms this program uses.
namespace Terms {
extern const TermTable KanBestandNietOpenen;  // "kan bestand_ niet openen"
extern const TermTable Verwijderen;
extern const TermTable Opslaan;
extern const TermTable BestaatAl;
extern const TermTable Overschrijven;
extern const TermTable Nu;
extern const TermTable VeranderBestandsnaam;
extern const TermTable Opgeslagen;
extern const TermTable OpslaanMislukt;        // "Opslaan _ mislukt"
extern const TermTable ProbeerAndereNaam;
extern const TermTable VolgendeWordt;
extern const TermTable ScanVerb;              // back-side button
extern const TermTable ScanNoun;              // save button
extern const TermTable Scans;
extern const TermTable Achterkant;
extern const TermTable Achterkanten;
extern const TermTable OpslaanVoorEnAchterkant;       // "Opslaan voor- en_achterkant"
extern const TermTable OpslaanVoorEnAchterkanten;     // "Opslaan _ voor-\r\nen achterkanten"
}
