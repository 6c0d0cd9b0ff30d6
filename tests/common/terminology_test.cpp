#include "common/terminology.h"

#include <gtest/gtest.h>

namespace {
// Switches the edition for one test.
struct Edition {
    explicit Edition(int i) { LanguageIndex = i; }
    ~Edition() { LanguageIndex = 0; }
};
}

TEST(Terminology, TermFallsBackToEnglishThenDutch)
{
    const TermTable noGerman = {"nl", "en", "", ""};
    const TermTable onlyDutch = {"nl", "", "", ""};
    Edition german(2);
    EXPECT_EQ(Term(noGerman), "en");
    EXPECT_EQ(Term(onlyDutch), "nl");
    EXPECT_EQ(Term(Terms::Verwijderen, 7), QString::fromUtf8("Löschen"));
    EXPECT_EQ(Term(Terms::Verwijderen, 0), "Verwijderen");
    EXPECT_EQ(Term({"", "", "", ""}), "");
}

TEST(Terminology, ProductNamePerEdition)
{
    EXPECT_EQ(ProductName(), "Vexlo");
    Edition e(1);
    EXPECT_EQ(ProductName(), "Annalyra");
    LanguageIndex = 2;
    EXPECT_EQ(ProductName(), "Der Morvask");
    LanguageIndex = 3;
    EXPECT_EQ(ProductName(), DefaultProductName);
}

TEST(Terminology, ExpandPlaceholders)
{
    EXPECT_EQ(ExpandPlaceholders("Zoek $Plaats$#$$#en $prog$"), "Zoek plaats\r\nen Vexlo");
    EXPECT_EQ(ExpandPlaceholders("geen dollar _ #$$"), "geen dollar _ #$$");
    EXPECT_EQ(ExpandPlaceholders("$plaatsen$ $plaats$ $FIGUUR$ $familieblad$ $onbekend$"),
              "plaatsen plaats Figuur gezinsblad $onbekend$");
    Edition french(3);
    EXPECT_EQ(ExpandPlaceholders("$bestand$ $vexlo$ $persoon$"), "file Vexlo person");
}

TEST(Terminology, TermWithAndJoinWords)
{
    EXPECT_EQ(TermWith(Terms::OpslaanMislukt, "x.jpg"), "Opslaan x.jpg mislukt");
    EXPECT_EQ(TermWith(Terms::KanBestandNietOpenen, "/tmp/preview.bmp"), "kan bestand/tmp/preview.bmp niet openen");
    EXPECT_EQ(TermWith(Terms::OpslaanVoorEnAchterkant, "\r\n"), "Opslaan voor- en\r\nachterkant");
    EXPECT_EQ(JoinWords("Opslaan", "scan"), "Opslaan scan");
    EXPECT_EQ(JoinWords(" Opslaan\r\n", "scan\r\n"), "Opslaan\r\n scan");
    Edition german(2);
    EXPECT_EQ(JoinWords("Opslaan", "scan"), "scan opslaan");
    EXPECT_EQ(JoinWords(Term(Terms::Opslaan), Term(Terms::ScanNoun)), "Scan speichern");
}
