// The index of cards and the GEDCOM made from it: what a spreadsheet and a
// genealogy program read back.
#include "records/card_index.h"

#include <gtest/gtest.h>

namespace {

CardRecord Card(const QString &file, const QString &text)
{
    CardRecord c;
    c.file = file;
    c.text = text;
    c.facts = ReadCardFacts(text);
    return c;
}

const QString kHusband = "Bid voor de ziel van\nJohannes van den Berg\nechtgenoot van Maria Jansen\n"
                         "geboren te Tilburg den 2 november 1899\noverleden te Breda den 14 maart 1960";
const QString kOdd = "In liefdevolle herinnering aan\nAnna de Vries\n* Utrecht, 3 februari 1901\n"
                     "\"Rust zacht\"; c:\\kaarten @home\n† 1948";

} // namespace

TEST(CardIndex, RowsAreAppendedAndReadBackExactly)
{
    CardRecord first = Card("kaart001.JPG", kHusband);
    first.front = "kaart001-voorkant.JPG";
    first.facts.uncertain = QStringList{"geboorteplaats", "leeftijd"};
    CardRecord second = Card("kaart002.JPG", kOdd);
    second.sameAs = "kaart001.JPG";

    const QByteArray once = CardIndexWithRows({}, {first});
    ASSERT_TRUE(once.startsWith("\xEF\xBB\xBF" "bestand;voorkant;achterkant;voornamen;tussenvoegsel;achternaam;geslacht;"
                                "geboortedatum;geboorteplaats;overlijdensdatum;overlijdensplaats;partner;relatie;"
                                "leeftijd;onzeker;zelfde_als;tekst\n"));
    const QByteArray twice = CardIndexWithRows(once, {second});
    EXPECT_TRUE(twice.startsWith(once)) << "a later series only appends";
    EXPECT_EQ(twice.count('\n'), 3) << "one line a card, whatever its text holds";
    EXPECT_TRUE(twice.contains("\\n\"\"Rust zacht\"\"; c:\\\\kaarten @home\\n† 1948\"\n"));

    const QList<CardRecord> back = ReadCardIndex(twice);
    ASSERT_EQ(back.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const CardRecord &want = i == 0 ? first : second;
        EXPECT_EQ(back[i].file, want.file);
        EXPECT_EQ(back[i].front, want.front);
        EXPECT_EQ(back[i].sameAs, want.sameAs);
        EXPECT_EQ(back[i].text, want.text);
        EXPECT_EQ(back[i].facts.uncertain, want.facts.uncertain);
        for (const QString &column : CardFactColumns())
            EXPECT_EQ(CardFactValue(back[i].facts, column), CardFactValue(want.facts, column)) << column.toStdString();
    }
}

TEST(CardIndex, GedcomHoldsPersonPartnerFamilyAndPicture)
{
    const QString ged = QString::fromUtf8(GedcomOfCards({Card("kaart001.JPG", kHusband), Card("kaart002.JPG", kOdd)}));
    const char *const kLines[] = {
        "0 HEAD\n", "2 VERS 5.5.1\n", "1 CHAR UTF-8\n",
        "0 @I1@ INDI\n1 NAME Johannes /Berg/\n2 GIVN Johannes\n2 SPFX van den\n2 SURN Berg\n1 SEX M\n"
        "1 BIRT\n2 DATE 2 NOV 1899\n2 PLAC Tilburg\n1 DEAT\n2 DATE 14 MAR 1960\n2 PLAC Breda\n"
        "1 OBJE\n2 FILE kaart001.JPG\n3 FORM jpeg\n2 TITL Bidprentje van Johannes van den Berg (1899–1960)\n",
        "1 FAMS @F1@\n0 @I2@ INDI\n1 NAME Maria /Jansen/\n2 GIVN Maria\n2 SURN Jansen\n1 SEX F\n1 FAMS @F1@\n",
        "0 @I3@ INDI\n1 NAME Anna /Vries/\n", "2 CONT \"Rust zacht\"; c:\\kaarten @@home\n",
        "0 @F1@ FAM\n1 HUSB @I1@\n1 WIFE @I2@\n0 TRLR\n",
    };
    for (const char *line : kLines)
        EXPECT_TRUE(ged.contains(QString::fromUtf8(line))) << line << "\nin\n" << ged.toStdString();
}

TEST(CardIndex, GedcomDates)
{
    EXPECT_EQ(GedcomDate("1899-11-02"), "2 NOV 1899");
    EXPECT_EQ(GedcomDate("1899-05"), "MAY 1899");
    EXPECT_EQ(GedcomDate("1899"), "1899");
    EXPECT_EQ(GedcomDate(""), "");
}
