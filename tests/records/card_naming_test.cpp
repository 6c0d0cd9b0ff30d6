// File names from a card's facts, and fronts known again when scanned twice.
#include "records/card_naming.h"
#include "records/card_index_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QTransform>
#include <gtest/gtest.h>

TEST(CardFileName, FromCertainFactsOnlyAndNeverTaken)
{
    CardFacts certain = ReadCardFacts("Bid voor de ziel van\nJan van den Berg\ngeboren 2 mei 1901\noverleden 4 juni 1970");
    CardFacts noDeath = ReadCardFacts("Bid voor de ziel van\nJan Berg\ngeboren 2 mei 1901");
    CardFacts doubted = certain;
    doubted.uncertain << "geboortedatum";
    CardFacts odd = certain;
    odd.surname = "Berg/../..:*?";
    odd.givenNames = ".Jan\t";

    QSet<QString> taken = {"Berg_Jan_1901-05-02_1970-06-04.JPG", "Berg_Jan_1901-05-02_1970-06-04-2.JPG"};
    const auto isTaken = [&](const QString &n) { return taken.contains(n); };
    const QString pattern = DefaultCardNamePattern();
    EXPECT_EQ(CardFileName(pattern, certain, ".JPG", isTaken), "Berg_Jan_1901-05-02_1970-06-04-3");
    EXPECT_EQ(CardFileName(pattern, certain, ".TIF", isTaken), "Berg_Jan_1901-05-02_1970-06-04");
    EXPECT_EQ(CardFileName(pattern, noDeath, ".JPG", isTaken), "");
    EXPECT_EQ(CardFileName(pattern, doubted, ".JPG", isTaken), "");
    EXPECT_EQ(CardFileName("{voornamen} {tussenvoegsel} {achternaam}", odd, ".JPG", isTaken), "Jan van den Berg....");
    EXPECT_EQ(CardFileName("{achternaam}", odd, ".JPG", isTaken), "Berg....");
    EXPECT_EQ(CardFileName("../{achternaam}", certain, ".JPG", isTaken), "Berg");
}

namespace {

// A front of shapes and tones of its own, drawn at a resolution, slightly turned.
QImage Front(int seed, int dpi, double turn)
{
    const double mm = dpi / 25.4;
    QImage card(int(56 * mm), int(95 * mm), QImage::Format_RGB32);
    card.fill(QColor(235, 228, 210));
    QPainter p(&card);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(mm, mm);
    QRandomGenerator r{quint32(seed)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 9; ++i) {
        p.setBrush(QColor(r.bounded(30, 200), r.bounded(30, 200), r.bounded(30, 200)));
        p.drawEllipse(QRectF(r.bounded(40), r.bounded(80), 8 + r.bounded(25), 8 + r.bounded(30)));
    }
    p.end();
    if (turn == 0)
        return card;
    QImage turned = card.transformed(QTransform().rotate(turn), Qt::SmoothTransformation);
    QImage out(turned.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter(&out).drawImage(0, 0, turned);
    return out;
}

} // namespace

TEST(LikenessHash, TheSameFrontAgainIsKnownAnotherIsNot)
{
    std::vector<uint64_t> first;
    for (int seed = 1; seed <= 12; ++seed)
        first.push_back(LikenessHash(Front(seed, 300, 0)));
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        EXPECT_TRUE(SameLikeness(first[seed - 1], LikenessHash(Front(seed, 600, 0))));
        EXPECT_TRUE(SameLikeness(first[seed - 1], LikenessHash(Front(seed, 200, 1.5))));
        EXPECT_TRUE(SameLikeness(first[seed - 1], LikenessHash(Front(seed, 400, -2.0))));
        for (int other = seed + 1; other <= 12; ++other)
            EXPECT_FALSE(SameLikeness(first[seed - 1], first[other - 1])) << "against " << other;
    }
}

// Fronts saved before in a folder: kept beside the index while their card is
// there, or made afresh from a front side file the index names.
TEST(SavedFronts, KnownWhileTheirCardIsThere)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    auto touch = [&](const QString &name) { QFile f(folder + '/' + name); return f.open(QIODevice::WriteOnly); };
    ASSERT_TRUE(touch("a.JPG") && touch("c.JPG") && touch("d.JPG"));
    ASSERT_TRUE(Front(3, 150, 0).save(folder + "/c-voorkant.JPG"));
    QString why;
    ASSERT_TRUE(AddSavedFronts(folder, {{"a.JPG", LikenessHash(Front(1, 300, 0))}, {"weg.JPG", LikenessHash(Front(2, 300, 0))},
                                        {"d.JPG", LikenessHash(Front(5, 300, 0))}}, why));
    ASSERT_TRUE(AddSavedFronts(folder, {{"d.JPG", LikenessHash(Front(4, 300, 0))}}, why));   // d.JPG saved over
    CardRecord fromCommandLine;
    fromCommandLine.file = "c.JPG";
    fromCommandLine.front = "c-voorkant.JPG";
    QFile index(folder + "/kaarten.csv");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly) && index.write(CardIndexWithRows({}, {fromCommandLine})) > 0);
    index.close();

    ASSERT_EQ(SavedFronts(folder).size(), 3);
    QFile::remove(folder + "/c-voorkant.JPG");   // made once, then kept with the others
    const QList<FrontLikeness> known = SavedFronts(folder);
    const struct {
        int seed;
        const char *sameAs;
    } cases[] = {{1, "a.JPG"}, {2, ""}, {3, "c.JPG"}, {4, "d.JPG"}, {5, ""}, {6, ""}};
    for (const auto &c : cases)
        EXPECT_EQ(SameFrontAs(known, LikenessHash(Front(c.seed, 400, -1.5))), c.sameAs) << c.seed;
}
