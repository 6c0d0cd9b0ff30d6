// The GEDCOM of a box of cards goes into a real genealogy program: Gramps
// imports it from the command line and exports what it holds as CSV.
#include "records/card_index.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(GrampsImport, EveryPersonWithDatesPlacesAndPartner)
{
    const QString gramps = QStandardPaths::findExecutable(QStringLiteral("gramps"));
    if (gramps.isEmpty())
        GTEST_SKIP() << "Gramps is not installed (Debian package gramps)";
    QTemporaryDir dir;
    const QStringList texts = {
        "Bid voor de ziel van\nJohannes van den Berg\nechtgenoot van Maria Jansen\n"
        "geboren te Tilburg den 2 november 1899\noverleden te Breda den 14 maart 1960",
        "In liefdevolle herinnering aan\nAnna de Vries\nweduwe van Petrus Bakker\n* Utrecht, 3 februari 1901\n"
        "† Amersfoort, 4 maart 1948",
        "Ter nagedachtenis van\nGerardus Smits\ngeb. Venlo 12.3.1890\noverl. 1961",
    };
    QList<CardRecord> cards;
    for (const QString &text : texts) {
        CardRecord card;
        card.file = QStringLiteral("kaart%1.JPG").arg(cards.size() + 1, 3, 10, QLatin1Char('0'));
        card.text = text;
        card.facts = ReadCardFacts(text);
        QFile(dir.filePath(card.file)).open(QIODevice::WriteOnly);
        cards << card;
    }
    QFile ged(dir.filePath("kaarten.ged"));
    ASSERT_TRUE(ged.open(QIODevice::WriteOnly));
    ged.write(GedcomOfCards(cards));
    ged.close();

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.filePath("home")); // Gramps keeps its family trees there
    env.insert("LANG", "C.UTF-8");
    env.remove("DISPLAY");
    QDir().mkpath(dir.filePath("home"));
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(dir.path());
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(gramps, {"-y", "-i", "kaarten.ged", "-e", "out.csv"});
    ASSERT_TRUE(run.waitForFinished(300000));
    const QString log = QString::fromUtf8(run.readAll());
    EXPECT_FALSE(log.contains("Could not import")) << log.toStdString();

    QFile out(dir.filePath("out.csv"));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << log.toStdString();
    const QString csv = QString::fromUtf8(out.readAll());
    const char *const kPeople[] = {
        "Berg,Johannes,,,van den,,male,1899-11-02,", "Jansen,Maria,,,,,female,",
        "Vries,Anna,,,de,,female,1901-02-03,",       "Bakker,Petrus,,,,,male,",
        "Smits,Gerardus,,,,,unknown,1890-03-12,",
    };
    for (const char *person : kPeople)
        EXPECT_TRUE(csv.contains(QString::fromUtf8(person))) << person << "\n" << csv.toStdString();
    for (const char *place : {"Tilburg", "Breda", "Utrecht", "Amersfoort", "Venlo"})
        EXPECT_TRUE(csv.contains(QStringLiteral(",%1,%1,").arg(QString::fromUtf8(place)))) << place;
    EXPECT_EQ(csv.count(QRegularExpression(QStringLiteral("^\\[F\\d+\\],\\[I\\d+\\],\\[I\\d+\\]"),
                                           QRegularExpression::MultilineOption)), 2);
}
