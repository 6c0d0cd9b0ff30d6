// Backs of cards made up here, in the fonts, wordings and papers real ones
// have, printed, read by the reader and taken apart into facts: the share
// read right, and no fact that is wrong without being marked uncertain.
#include "ocr/back_text.h"
#include "ocr/synthetic_back.h"
#include "records/card_facts.h"

#include <QDate>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <map>

namespace {

struct Person {
    QString given, infix, surname, sex, partner, relation;
    QDate birth, death;
    QString birthPlace, deathPlace;
};

const char *const kMonths[] = {"januari", "februari", "maart", "april", "mei", "juni", "juli",
                               "augustus", "september", "oktober", "november", "december"};
const char *const kShortMonths[] = {"jan.", "febr.", "mrt.", "apr.", "mei", "juni", "juli",
                                    "aug.", "sept.", "okt.", "nov.", "dec."};

template <size_t N> QString Pick(QRandomGenerator &r, const char *const (&from)[N])
{
    return QString::fromUtf8(from[r.bounded(int(N))]);
}

Person MakePerson(QRandomGenerator &r)
{
    static const char *const kMen[] = {"Johannes", "Petrus", "Hendrikus", "Cornelis", "Gerardus", "Wilhelmus", "Theodorus", "Antonius"};
    static const char *const kWomen[] = {"Maria", "Johanna", "Wilhelmina", "Cornelia", "Elisabeth", "Anna", "Theodora", "Petronella"};
    static const char *const kInfixes[] = {"", "", "", "van", "van den", "de", "van der", "ter"};
    static const char *const kSurnames[] = {"Berg", "Jansen", "Vries", "Bakker", "Smits", "Hoeven", "Linden", "Maas", "Kuipers", "Verhoeven", "Dijk", "Schouten"};
    static const char *const kPlaces[] = {"Tilburg", "Breda", "Venlo", "Utrecht", "Amersfoort", "Roermond", "Gouda", "Zwolle", "Oss", "Weert", "Bergen op Zoom", "Eindhoven"};
    Person p;
    const bool man = r.bounded(2) == 0;
    p.sex = man ? "M" : "V";
    p.given = Pick(r, man ? kMen : kWomen);
    if (r.bounded(2))
        p.given += QLatin1Char(' ') + Pick(r, man ? kMen : kWomen);
    p.infix = Pick(r, kInfixes);
    p.surname = Pick(r, kSurnames);
    p.birth = QDate(1850 + r.bounded(80), 1 + r.bounded(12), 1 + r.bounded(28));
    p.death = p.birth.addDays(365 * (20 + r.bounded(70)) + r.bounded(365));
    p.birthPlace = Pick(r, kPlaces);
    p.deathPlace = r.bounded(3) ? Pick(r, kPlaces) : p.birthPlace;
    switch (r.bounded(3)) {
    case 0: p.relation = man ? "echtgenoot" : "echtgenote"; break;
    case 1: p.relation = man ? "weduwnaar" : "weduwe"; break;
    default: break;
    }
    if (!p.relation.isEmpty())
        p.partner = Pick(r, man ? kWomen : kMen) + QLatin1Char(' ') + Pick(r, kSurnames);
    return p;
}

QString Long(const QDate &d) { return QStringLiteral("%1 %2 %3").arg(d.day()).arg(kMonths[d.month() - 1]).arg(d.year()); }
QString Short(const QDate &d) { return QStringLiteral("%1 %2 %3").arg(d.day()).arg(kShortMonths[d.month() - 1]).arg(d.year()); }
QString Numeric(const QDate &d, QChar sep)
{
    return QString::number(d.day()) + sep + QString::number(d.month()) + sep + QString::number(d.year());
}

int AgeAtDeath(const Person &p)
{
    int age = p.death.year() - p.birth.year();
    if (QDate(p.birth.year(), p.death.month(), p.death.day()) < QDate(p.birth.year(), p.birth.month(), p.birth.day()))
        --age;
    return age;
}

// The printed lines of the card in one of the wordings cards use.
QStringList Wording(const Person &p, int kind)
{
    const QString name = QStringList{p.given, p.infix, p.surname}.join(QLatin1Char(' ')).simplified();
    QStringList l;
    l << (QStringList{"Bid voor de ziel van", "Ter dierbare nagedachtenis aan", "In liefdevolle herinnering aan",
                      "Bid voor de ziel van zaliger"}[kind]);
    l << name;
    if (!p.partner.isEmpty())
        l << p.relation + " van " + p.partner;
    const bool here = p.deathPlace == p.birthPlace;
    switch (kind) {
    case 0:
        l << "geboren te " + p.birthPlace << "den " + Long(p.birth) << (here ? "en aldaar overleden" : "overleden te " + p.deathPlace)
          << "den " + Long(p.death) + ",";
        l << QStringLiteral("in den ouderdom van %1 jaren.").arg(AgeAtDeath(p));
        break;
    case 1:
        l << QStringLiteral("* %1, %2").arg(p.birthPlace, Long(p.birth)) << QStringLiteral("† %1, %2").arg(p.deathPlace, Long(p.death));
        break;
    case 2:
        l << QStringLiteral("geb. %1 %2").arg(p.birthPlace, Numeric(p.birth, '.'))
          << QStringLiteral("overl. %1 %2").arg(p.deathPlace, Numeric(p.death, '-'));
        break;
    default:
        l << "geboren te " + p.birthPlace + " op " + Numeric(p.birth, '-') << "overleden te " + p.deathPlace
          << "op " + Short(p.death) << QStringLiteral("in de leeftijd van %1 jaar").arg(AgeAtDeath(p));
        break;
    }
    l << (p.sex == "M" ? "Heer, geef hem de eeuwige rust." : "Heer, geef haar de eeuwige rust.");
    return l;
}

} // namespace

TEST(CardRecords, FactsOfPrintedBacksAreReadRightAndNeverInvented)
{
    static const char *const kFonts[] = {"DejaVu Serif", "Nimbus Roman", "C059", "P052", "URW Bookman"};
    const QColor kPapers[] = {QColor(250, 248, 240), QColor(236, 230, 214), QColor(228, 214, 170)};
    QRandomGenerator random(20261208);
    std::map<QString, int> right, invented;
    int cards = 0, whole = 0;
    for (int i = 0; i < 40; ++i, ++cards) {
        const Person p = MakePerson(random);
        SyntheticBack back;
        back.lines = Wording(p, i % 4);
        back.font = QString::fromUtf8(kFonts[i % 5]);
        back.paper = kPapers[i % 3];
        back.italic = i % 7 == 3;
        back.emphasis = 1;
        back.frame = i % 3 == 0;
        back.dpi = QList<int>{300, 400, 600, 200}[i % 4];
        back.specks = 6 + 4 * (i % 3);
        back.seed = uint32_t(i + 1);
        const QString text = ReadBackText(RenderBack(back), back.dpi);
        const CardFacts f = ReadCardFacts(text);
        const std::map<QString, QString> truth = {
            {"naam", QStringList{p.given, p.infix, p.surname}.join(' ').simplified()},
            {"geboortedatum", p.birth.toString(Qt::ISODate)}, {"overlijdensdatum", p.death.toString(Qt::ISODate)},
            {"geboorteplaats", p.birthPlace},  {"overlijdensplaats", p.deathPlace},
            {"partner", p.partner},           {"geslacht", p.sex},
        };
        for (const auto &[column, value] : truth) {
            const QString read = column == "naam" ? f.fullName() : CardFactValue(f, column);
            right[column] += read == value;
            const bool doubted = column == "naam" ? f.isUncertain("achternaam") || f.isUncertain("voornamen") : f.isUncertain(column);
            if (!read.isEmpty() && read != value && !doubted) {
                ++invented[column];
                ADD_FAILURE() << column.toStdString() << ": " << read.toStdString() << " for " << value.toStdString()
                              << "\n" << text.toStdString();
            }
        }
        if (qEnvironmentVariableIsSet("KVN_SHOW_CARDS"))
            std::printf("--- %d\n%s\n=> %s | %s | %s\n", i, qPrintable(text), qPrintable(f.fullName()), qPrintable(f.birthDate), qPrintable(f.deathDate));
        whole += f.fullName() == truth.at("naam") && f.birthDate == truth.at("geboortedatum")
                 && f.deathDate == truth.at("overlijdensdatum");
    }
    std::string shares;
    for (const auto &[column, n] : right)
        shares += " " + column.toStdString() + " " + std::to_string(n) + "/" + std::to_string(cards);
    RecordProperty("shares", shares);
    std::printf("name and both dates right: %d/%d;%s\n", whole, cards, shares.c_str());
    EXPECT_GE(whole * 100, 95 * cards);
    for (const char *column : {"geboorteplaats", "overlijdensplaats", "partner"})
        EXPECT_GE(right[column] * 100, 90 * cards) << column;
}
