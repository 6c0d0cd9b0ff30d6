// The facts read from the wordings memorial cards use: one table of whole
// card texts, each with what must be found and what must stay empty or doubted.
#include "records/card_facts.h"

#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

struct Expect {
    const char *text;
    // column=value pairs separated by '|'; columns not named must stay empty.
    const char *facts;
    const char *uncertain; // columns, separated by ','
};

const Expect kCards[] = {
    {"Bid voor de ziel van zaliger\nJohannes Hendrikus van den Berg\nechtgenoot van Maria Petronella Jansen\n"
     "geboren te Tilburg den 2 november 1899\nen aldaar overleden den 14 maart 1960,\n"
     "in den ouderdom van 60 jaren.\nVoorzien van de H.H. Sacramenten.\nHeer, geef hem de eeuwige rust.",
     "voornamen=Johannes Hendrikus|tussenvoegsel=van den|achternaam=Berg|geslacht=M|partner=Maria Petronella Jansen|"
     "relatie=echtgenoot|geboortedatum=1899-11-02|geboorteplaats=Tilburg|overlijdensdatum=1960-03-14|"
     "overlijdensplaats=Tilburg|leeftijd=60",
     ""},
    {"Ter dierbare nagedachtenis aan\nAnna Maria de Vries\nweduwe van Petrus Bakker\n* Utrecht, 3 februari 1901\n"
     "† Amersfoort, 4 maart 1948",
     "voornamen=Anna Maria|tussenvoegsel=de|achternaam=Vries|geslacht=V|partner=Petrus Bakker|relatie=weduwe|"
     "geboortedatum=1901-02-03|geboorteplaats=Utrecht|overlijdensdatum=1948-03-04|overlijdensplaats=Amersfoort",
     ""},
    {"In liefdevolle herinnering aan\nGerardus Smits\ngeb. Venlo 12.3.1890\noverl. Roermond 5-6-1961",
     "voornamen=Gerardus|achternaam=Smits|geboortedatum=1890-03-12|geboorteplaats=Venlo|"
     "overlijdensdatum=1961-06-05|overlijdensplaats=Roermond",
     ""},
    {"†\nBid voor de ziel van\nWILLEM VAN 'T HOF\nweduwnaar van Johanna Peeters\nGeboren te 's-Hertogenbosch op 5-6-1921\n"
     "Overleden te Bergen op Zoom op 7 Dec. 1979\nin de leeftijd van 58 jaar",
     "voornamen=WILLEM|tussenvoegsel=VAN 'T|achternaam=HOF|geslacht=M|partner=Johanna Peeters|relatie=weduwnaar|"
     "geboortedatum=1921-06-05|geboorteplaats='s-Hertogenbosch|overlijdensdatum=1979-12-07|"
     "overlijdensplaats=Bergen op Zoom|leeftijd=58",
     ""},
    // Only the years, a month and year, and a wrapped name.
    {"Ter nagedachtenis van\nCornelia Wilhelmina\nvan der Linden\ngeboren 1875\noverleden november 1944",
     "voornamen=Cornelia Wilhelmina|tussenvoegsel=van der|achternaam=Linden|geboortedatum=1875|overlijdensdatum=1944-11",
     ""},
    // Doubt: a date that cannot exist, an age that disagrees with the dates.
    {"Bid voor de ziel van\nPieter Jansen\ngeboren te Gouda den 31 februari 1880\noverleden te Delft den 2 mei 1950\n"
     "in den ouderdom van 45 jaren",
     "voornamen=Pieter|achternaam=Jansen|geboortedatum=1880-02-31|geboorteplaats=Gouda|overlijdensdatum=1950-05-02|"
     "overlijdensplaats=Delft|leeftijd=45",
     "geboortedatum,leeftijd"},
    // A death before the birth is kept, both doubted; pronouns disagree with nothing printed.
    {"Bid voor de ziel van\nMaria Hendriks\ngeboren 4 mei 1950\noverleden 4 mei 1920\nHeer, geef haar de eeuwige rust.",
     "voornamen=Maria|achternaam=Hendriks|geslacht=V|geboortedatum=1950-05-04|overlijdensdatum=1920-05-04",
     "geboortedatum,overlijdensdatum"},
    // A cross the reader could not read still marks the death after a birth.
    {"Ter dierbare nagedachtenis aan\nJohanna Dijk\n* Weert, 3 september 1870\ntT Oss, 1 november 1899\nj Amen, 3 mei 1900",
     "voornamen=Johanna|achternaam=Dijk|geboortedatum=1870-09-03|geboorteplaats=Weert|overlijdensdatum=1899-11-01|"
     "overlijdensplaats=Oss",
     ""},
    // Prayers alone: nothing to find, nothing invented.
    {"Zalig de barmhartigen, want zij zullen barmhartigheid verkrijgen.\nHeilig Hart van Jezus, wees mijn redding.", "", ""},
    // Abbreviated month names and a daughter.
    {"Gedenk in uw gebeden\nElisabeth Maas\ndochter van Jan Maas\ngeb. 9 sept. 1912 te Weert\novl. 1990",
     "voornamen=Elisabeth|achternaam=Maas|geslacht=V|geboortedatum=1912-09-09|geboorteplaats=Weert|overlijdensdatum=1990", ""},
};

CardFacts Parsed(const char *facts)
{
    CardFacts f;
    for (const QString &pair : QString::fromUtf8(facts).split(QLatin1Char('|'), Qt::SkipEmptyParts))
        SetCardFactValue(f, pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return f;
}

} // namespace

TEST(CardFacts, WordingsOfRealCards)
{
    for (const Expect &card : kCards) {
        SCOPED_TRACE(card.text);
        const CardFacts read = ReadCardFacts(QString::fromUtf8(card.text));
        const CardFacts want = Parsed(card.facts);
        for (const QString &column : CardFactColumns())
            EXPECT_EQ(CardFactValue(read, column), CardFactValue(want, column)) << column.toStdString();
        EXPECT_EQ(read.uncertain.join(QLatin1Char(',')), QString::fromUtf8(card.uncertain));
    }
}

TEST(CardFacts, WordsTheReaderDoubtedMakeTheirFactsUncertain)
{
    const QString text = "Bid voor de ziel van\nJan Kuipers\ngeboren te Z0lle den 1 mei 1901\noverleden te Zwolle den 9 juni 1970";
    const CardFacts f = ReadCardFacts(text, {QStringLiteral("Z0lle"), QStringLiteral("1970.")});
    EXPECT_EQ(f.birthPlace, "Z0lle");
    EXPECT_EQ(f.uncertain, QStringList({"geboorteplaats", "overlijdensdatum"}));
}

TEST(CardFacts, DatesInEveryPrintedForm)
{
    const struct {
        const char *text, *iso;
        bool valid;
    } kDates[] = {
        {"den 2 november 1899", "1899-11-02", true}, {"5-6-1921", "1921-06-05", true},
        {"12.3.1890", "1890-03-12", true},           {"1 Jan. 1900", "1900-01-01", true},
        {"17 mrt 1944", "1944-03-17", true},         {"3e oktober 1911", "1911-10-03", true},
        {"Mei 1920", "1920-05", true},               {"anno 1875", "1875", true},
        {"30-2-1900", "1900-02-30", false},          {"4 mei 2990", "2990-05-04", false},
        {"geen datum", "", false},
    };
    for (const auto &d : kDates) {
        bool valid = true;
        EXPECT_EQ(IsoDate(QString::fromUtf8(d.text), &valid), QString::fromUtf8(d.iso)) << d.text;
        if (*d.iso) {
            EXPECT_EQ(valid, d.valid) << d.text;
        }
    }
}
