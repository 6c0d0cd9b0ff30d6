#include "common/terminology.h"

#include "common/filez.h"

int LanguageIndex = 0;
QString DefaultProductName = QStringLiteral("Vexlo");
QString LineBreakMarker = QStringLiteral("#$$#");

namespace {
struct Placeholder {
    const char *key;
    TermTable words;  // all empty: the product name
};

// Longer keys never match inside shorter ones because every key ends in '$'.
const Placeholder kPlaceholders[] = {
    {"$handelingen$", {"handelingen", "actions", "Activitäten", ""}},
    {"$prog$", {"", "", "", ""}},
    {"$vexlo$", {"", "", "", ""}},
    {"$plaats$", {"plaats", "city", "Ort", "ville"}},
    {"$item$", {"item", "item", "unterteil", ""}},
    {"$plaatsen$", {"plaatsen", "cities", "Orte", "villages"}},
    {"$plaatsnaam$", {"plaatsnaam", "cityname", "Ortname", "nom de ville"}},
    {"$plaatsnamen$", {"plaatsnamen", "citynames", "Ortnamen", "nommes des villes"}},
    {"$provincies$", {"provincies", "regions", "Provinzen", ""}},
    {"$provincie$", {"provincie", "region", "Provinz", ""}},
    {"$landen$", {"landen", "countries", "Länder", "pays"}},
    {"$land$", {"land", "country", "Land", "pays"}},
    {"$personen$", {"personen", "persons", "Personen", "persons"}},
    {"$persoon$", {"persoon", "person", "Person", "person"}},
    {"$relaties$", {"relaties", "relations", "Beziehungen", "relations"}},
    {"$relatie$", {"relatie", "relation", "Beziehung", "relation"}},
    {"$figuur$", {"Figuur", "Box-chart", "Geneagramm", ""}},
    {"$stamboom$", {"stamboom", "family tree", "Stammbaum", "Arbre de descendance"}},
    {"$plaatsbestand$", {"plaatsbestand", "city-file", "Ortsdatenbank", ""}},
    {"$plaatstabel$", {"plaatstabel", "placestable", "Ort-tabelle", "tabelle des villes"}},
    {"$bestand$", {"bestand", "file", "Datei", ""}},
    {"$bestanden$", {"bestanden", "files", "Dateien", ""}},
    {"$bestandenset$", {"bestandenset", "fileset", "Dateiensatz", ""}},
    {"$bestandensets$", {"bestandensets", "filesets", "Dateiensätze", ""}},
    {"$kwartierblad$", {"Kwartierblad", "pedigree chart", "Ahnentafel Organigramme", "fiche d'ascendance"}},
    {"$kwartierstaat$", {"kwartierstaat", "ahnentafel report", "Ahnentafel", "numération SOSA"}},
    {"$parenteel$", {"parenteel", "register report", "Nachkommen-Stammbaum", "parentèle"}},
    {"$genealogie$", {"genealogie", "Nominal register report", "Männlich Nachkommen-Stammbaum", "généalogie"}},
    {"$stamreeks$", {"stamreeks", "descendent report", "Nachkommen linie", ""}},
    {"$persoonskaart$", {"persoonskaart", "personal report", "Personskarte", "fiche personnel"}},
    {"$familieblad$", {"gezinsblad", "family report", "Familienblatt", "fiche de famille"}},
    {"$gezinsblad$", {"gezinsblad", "family report", "Familienblatt", "fiche de famille"}},
    {"$figuurtekst$", {"figuurtekst", "graph text", "Figurtekst", ""}},
};

bool isEmptyEntry(const char *s) { return !s || !*s; }

}

QString ProductName()
{
    switch (LanguageIndex) {
    case 0: return QStringLiteral("Vexlo");
    case 1: return QStringLiteral("Annalyra");
    case 2: return QStringLiteral("Der Morvask");
    default: return DefaultProductName;
    }
}

QString Term(const TermTable &table, int language)
{
    if (language < 0 || language > 3)
        language = LanguageIndex;
    const char *entry = (language >= 0 && language <= 3) ? table[std::size_t(language)] : nullptr;
    if (isEmptyEntry(entry))
        entry = table[1];
    if (isEmptyEntry(entry))
        entry = table[0];
    return ExpandPlaceholders(QString::fromUtf8(isEmptyEntry(entry) ? "" : entry));
}

QString TermWith(const TermTable &table, const QString &text)
{
    QString out = Term(table, -1);
    ReplaceFirstText(out, QStringLiteral("_"), text, false);
    return out;
}

QString JoinWords(const QString &first, const QString &second)
{
    if (LanguageIndex == 2) {
        QString low = first;
        for (QChar &c : low) {
            if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                c = QChar(c.unicode() + 32);
        }
        return TrimControl(second + QLatin1Char(' ') + low);
    }
    return TrimControl(first + QLatin1Char(' ') + second);
}

QString ExpandPlaceholders(const QString &text)
{
    if (!text.contains(QLatin1Char('$')))
        return text;
    QString out = text;
    out.replace(LineBreakMarker, QStringLiteral("\r\n"));
    for (const Placeholder &p : kPlaceholders) {
        const QString key = QString::fromUtf8(p.key);
        if (!out.contains(key, Qt::CaseInsensitive))
            continue;
        const QString word = isEmptyEntry(p.words[0]) ? ProductName() : Term(p.words, -1);
        ReplaceAllText(out, key, word, false);
    }
    return out;
}

namespace Terms {
const TermTable KanBestandNietOpenen = {"kan bestand_ niet openen", "Can not open file _", "Kann Datei _ nicht öffnen", ""};
const TermTable Verwijderen = {"Verwijderen", "Remove", "Löschen", ""};
const TermTable Opslaan = {"Opslaan", "Save", "Speichern", ""};
const TermTable BestaatAl = {"bestaat al", "already exists", "ist schon da", ""};
const TermTable Overschrijven = {"overschrijven", "overwrite", "Überschreiben", ""};
const TermTable Nu = {"nu", "currently", "jetzt", "maintenant"};
const TermTable VeranderBestandsnaam = {"verander bestandsnaam", "Change filename", "Aendere Deteiname", ""};
const TermTable Opgeslagen = {"opgeslagen", "saved", "gespeichert", ""};
const TermTable OpslaanMislukt = {"Opslaan _ mislukt", "Saving _ failed", "_ Speichern hat nicht geklapt", ""};
const TermTable ProbeerAndereNaam = {"Probeer een andere naam", "Try a different name", "Versuche ein andere Name", ""};
const TermTable VolgendeWordt = {"Volgende wordt", "Next wil be named", "Nächsten Datei", ""};
const TermTable ScanVerb = {"scan", "scan", "Scanne", ""};
const TermTable ScanNoun = {"scan", "scan", "Scan", ""};
const TermTable Scans = {"scans", "scans", "Scans", ""};
const TermTable Achterkant = {"achterkant", "backside", "Rückseite", ""};
const TermTable Achterkanten = {"achterkanten", "backsides", "Rückseiten", ""};
const TermTable OpslaanVoorEnAchterkant = {"Opslaan voor- en_achterkant", "Save front and_backside",
                                           "Vorderseite und_Rücksite speichern", ""};
const TermTable OpslaanVoorEnAchterkanten = {"Opslaan _ voor-\r\nen achterkanten", "Save _ front\r\nand backsides",
                                             "_ Vorder- und Rück-\r\nseite speichern", ""};
}
