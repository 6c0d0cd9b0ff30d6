#include "records/card_facts.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {

constexpr auto kUnicode = QRegularExpression::UseUnicodePropertiesOption;
constexpr auto kAnyCase = QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::CaseInsensitiveOption;

const QString kMonthPattern = QStringLiteral(
    "(januari|februari|maart|april|mei|juni|juli|augustus|september|oktober|october|november|december|"
    "jan|febr|feb|mrt|mar|apr|jun|jul|aug|sept|sep|okt|oct|nov|dec)\\b\\.?");

int MonthNumber(const QString &word)
{
    static const char *const kFull[] = {"januari", "februari", "maart", "april", "mei", "juni", "juli",
                                        "augustus", "september", "oktober", "november", "december"};
    const QString w = word.toLower().remove(QLatin1Char('.'));
    if (w == QLatin1String("mrt"))
        return 3;
    if (w == QLatin1String("oct") || w == QLatin1String("october"))
        return 10;
    for (int m = 0; m < 12; ++m)
        if (w.size() >= 3 && QLatin1String(kFull[m]).startsWith(w))
            return m + 1;
    return 0;
}

QString Iso(int year, int month, int day, bool *valid)
{
    bool ok = year >= 1500 && year <= QDate::currentDate().year();
    QString iso = QString::number(year);
    if (month > 0) {
        ok = ok && month <= 12;
        iso += QStringLiteral("-%1").arg(month, 2, 10, QLatin1Char('0'));
    }
    if (day > 0) {
        ok = ok && QDate::isValid(year, month, day);
        iso += QStringLiteral("-%1").arg(day, 2, 10, QLatin1Char('0'));
    }
    if (valid)
        *valid = ok;
    return iso;
}

// The first date in text: its ISO form, and where it lies.
struct FoundDate {
    QString iso;
    bool valid = false;
    qsizetype start = -1;
    QString source;
};

FoundDate FirstDate(const QString &text)
{
    static const QRegularExpression numeric(
        QStringLiteral("\\b(\\d{1,2})\\s*[-./]\\s*(\\d{1,2})\\s*[-./]\\s*(\\d{4})\\b"), kUnicode);
    static const QRegularExpression dayMonth(
        QStringLiteral("\\b(\\d{1,2})(?:e|ste|de)?\\s+") + kMonthPattern + QStringLiteral("\\s*,?\\s+(\\d{4})\\b"), kAnyCase);
    static const QRegularExpression monthYear(kMonthPattern + QStringLiteral("\\s+(\\d{4})\\b"), kAnyCase);
    static const QRegularExpression yearOnly(QStringLiteral("\\b(1[5-9]\\d\\d|20\\d\\d)\\b"), kUnicode);

    FoundDate best;
    auto consider = [&](const QRegularExpressionMatch &m, int year, int month, int day) {
        if (!m.hasMatch() || (best.start >= 0 && m.capturedStart() >= best.start))
            return;
        best.start = m.capturedStart();
        best.source = m.captured();
        best.iso = Iso(year, month, day, &best.valid);
    };
    // Later kinds only win by starting earlier, so a longer reading is preferred at the same place.
    const auto n = numeric.match(text);
    consider(n, n.captured(3).toInt(), n.captured(2).toInt(), n.captured(1).toInt());
    const auto d = dayMonth.match(text);
    consider(d, d.captured(3).toInt(), MonthNumber(d.captured(2)), d.captured(1).toInt());
    const auto my = monthYear.match(text);
    consider(my, my.captured(2).toInt(), MonthNumber(my.captured(1)), 0);
    const auto y = yearOnly.match(text);
    consider(y, y.captured(1).toInt(), 0, 0);
    return best;
}

enum class Marker { Birth, Death, Partner, Age, ChildOf, Sign };

struct Found {
    Marker kind;
    qsizetype start, end;
    QString word; // the relation word for Partner and ChildOf
};

std::vector<Found> Markers(const QString &text)
{
    static const struct {
        Marker kind;
        QRegularExpression re;
    } kMarkers[] = {
        {Marker::Birth, QRegularExpression(QStringLiteral("\\bgeboren\\b|\\bgeb\\b\\.?|\\*|°"), kAnyCase)},
        {Marker::Death, QRegularExpression(
             QStringLiteral("\\boverleden\\b|\\boverl\\b\\.?|\\bovl\\b\\.?|\\bgestorven\\b|\\bontslapen\\b|†|(?<![\\w+])\\+(?=\\s*\\p{L})"),
             kAnyCase)},
        {Marker::Partner, QRegularExpression(
             QStringLiteral("\\b(echtgenoot|echtgenote|weduwe|weduwnaar)\\s+van(?:\\s+wijlen)?\\b"), kAnyCase)},
        {Marker::Age, QRegularExpression(
             QStringLiteral("\\bin\\s+(?:den|de)\\s+(?:ouderdom|leeftijd)\\s+van\\b|\\boud\\b(?=\\s+\\d)"), kAnyCase)},
        {Marker::ChildOf, QRegularExpression(QStringLiteral("\\b(zoon|dochter)\\s+van\\b"), kAnyCase)},
        // A sign the reader could not read ("j", "tT" for a cross) before "Place, date".
        {Marker::Sign, QRegularExpression(
             QStringLiteral("(?<=^|\\n)[ \\t]*(?!(?:op|te|en|de|in)\\b)[^\\s\\d*°†+]{1,2}(?=[ \\t]+\\p{Lu}[\\p{L}\\p{N}' -]*,[ \\t]*\\d)"),
             kUnicode)},
    };
    std::vector<Found> found;
    for (const auto &m : kMarkers) {
        auto it = m.re.globalMatch(text);
        while (it.hasNext()) {
            const auto hit = it.next();
            // A cross or star alone on its line is an ornament, not a birth or death.
            const QString rest = text.mid(hit.capturedEnd()).section(QLatin1Char('\n'), 0, 0);
            if (!hit.captured().at(0).isLetter() && !rest.contains(QRegularExpression(QStringLiteral("[\\p{L}\\d]"))))
                continue;
            found.push_back({m.kind, hit.capturedStart(), hit.capturedEnd(), hit.captured(1).toLower()});
        }
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.start < b.start; });
    // After a birth such a sign stands for the death; elsewhere it says nothing.
    bool born = false;
    for (auto it = found.begin(); it != found.end();) {
        born = born || it->kind == Marker::Birth;
        if (it->kind == Marker::Sign && !born) {
            it = found.erase(it);
            continue;
        }
        if (it->kind == Marker::Sign)
            it->kind = Marker::Death;
        ++it;
    }
    return found;
}

// The text a marker governs: up to the next marker, over at most one line break.
QString Clause(const QString &text, const std::vector<Found> &markers, size_t i)
{
    const qsizetype end = i + 1 < markers.size() ? markers[i + 1].start : text.size();
    QString clause = text.mid(markers[i].end, end - markers[i].end);
    const qsizetype firstBreak = clause.indexOf(QLatin1Char('\n'), clause.indexOf(QRegularExpression(QStringLiteral("\\S"))));
    if (firstBreak >= 0) {
        const qsizetype second = clause.indexOf(QLatin1Char('\n'), firstBreak + 1);
        if (second >= 0)
            clause.truncate(second);
    }
    return clause;
}

// Digits inside a word are the reader's doubts ("Z0lle"), still the place's word.
const QString kPlaceWord = QStringLiteral("(?:'s[- ]?\\p{Lu}[\\p{L}\\p{N}]*|\\p{Lu}[\\p{L}\\p{N}]*(?:[-'’]\\p{L}+)*)");
const QString kPlacePattern = QStringLiteral("(%1(?:[ \\t]+(?:(?:aan|op|bij|in|onder|ter|ten)[ \\t]+)?(?:(?:de|den|der|het)[ \\t]+)?%1)*)")
                                  .arg(kPlaceWord);

QString PlaceIn(const QString &clause)
{
    static const QRegularExpression after(QStringLiteral("\\b(?:te|in)\\s+") + kPlacePattern, kUnicode);
    static const QRegularExpression leading(QStringLiteral("^[\\s,:]*") + kPlacePattern + QStringLiteral("(?=\\s*(?:,|\\d|den\\b|op\\b|\\n|$))"),
                                            kUnicode);
    auto m = after.match(clause);
    if (!m.hasMatch())
        m = leading.match(clause);
    if (!m.hasMatch())
        return {};
    const QString place = m.captured(1).trimmed();
    // A month name written with a capital is no place.
    if (MonthNumber(place) > 0 && !place.contains(QLatin1Char(' ')))
        return {};
    return place;
}

bool IsInfix(const QString &word, bool allCaps)
{
    static const QSet<QString> kInfixes = {"van", "de", "den", "der", "het", "'t", "ter", "ten", "te", "in",
                                           "op", "la", "le", "du", "von", "vanden", "vander", "d'", "l'"};
    const bool lower = word == word.toLower();
    return (lower || allCaps) && kInfixes.contains(word.toLower());
}

// A line that can be (part of) a name: every word capitalised or an infix; a
// line that goes on with a name may start with its infix ("van der Linden").
bool LooksLikeName(const QString &line, bool continuation = false)
{
    const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return false;
    const bool allCaps = line == line.toUpper();
    int letters = 0;
    for (const QString &w : words) {
        if (!w.at(0).isUpper() && !IsInfix(w, allCaps))
            return false;
        letters += int(std::count_if(w.begin(), w.end(), [](QChar c) { return c.isLetter(); }));
    }
    return letters >= 3 && (continuation || words.first().at(0).isUpper());
}

QString StripOpening(QString prefix)
{
    static const QRegularExpression opening(
        QStringLiteral("^\\s*(?:bidt?\\s+voor\\s+de\\s+ziel(?:\\s+van)?|ter\\s+(?:\\p{L}+\\s+)?(?:na)?gedachtenis(?:\\s+(?:aan|van))?|"
                       "in\\s+(?:\\p{L}+\\s+)?herinnering(?:\\s+aan)?|gedenk\\s+in\\s+uw\\s+gebed(?:en)?)"),
        kAnyCase);
    static const QRegularExpression titles(
        QStringLiteral("\\b(?:zaliger|zal\\.|wijlen|de\\s+heer|heer|mevrouw|mejuffrouw|dhr\\.|mevr\\.)(?=\\s|$)"), kAnyCase);
    prefix.remove(opening);
    return prefix.replace(titles, QString());
}

QString NameBefore(const QString &prefix)
{
    QStringList run;
    for (QString line : StripOpening(prefix).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        while (!line.isEmpty() && QStringLiteral(",.;:").contains(line.back()))
            line.chop(1);
        if (LooksLikeName(line, !run.isEmpty()))
            run << line;
        else if (!run.isEmpty() && !line.isEmpty())
            break;
    }
    return run.join(QLatin1Char(' ')).simplified();
}

} // namespace

void SplitPersonName(const QString &name, CardFacts &facts)
{
    const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const bool allCaps = name == name.toUpper();
    qsizetype infixStart = -1, infixEnd = -1;
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        if (IsInfix(words[i], allCaps)) {
            infixStart = i;
            infixEnd = i;
            while (infixEnd + 1 < words.size() && IsInfix(words[infixEnd], allCaps))
                ++infixEnd;
            break;
        }
    }
    if (infixStart < 0) {
        infixStart = infixEnd = words.size() - 1;
    }
    facts.givenNames = words.mid(0, infixStart).join(QLatin1Char(' '));
    facts.infix = words.mid(infixStart, infixEnd - infixStart).join(QLatin1Char(' '));
    facts.surname = words.mid(infixEnd).join(QLatin1Char(' '));
}

namespace {

QString PartnerIn(const QString &clause)
{
    static const QRegularExpression stop(QStringLiteral("[,;\\n]"));
    QString line = clause.trimmed();
    const qsizetype cut = line.indexOf(stop);
    if (cut >= 0)
        line.truncate(cut);
    line = StripOpening(line).simplified();
    while (!line.isEmpty() && QStringLiteral(".:").contains(line.back()))
        line.chop(1);
    return LooksLikeName(line) ? line : QString();
}

QString SexFromWord(const QString &word)
{
    if (word == QLatin1String("echtgenoot") || word == QLatin1String("weduwnaar") || word == QLatin1String("zoon"))
        return QStringLiteral("M");
    if (word == QLatin1String("echtgenote") || word == QLatin1String("weduwe") || word == QLatin1String("dochter"))
        return QStringLiteral("V");
    return {};
}

// Sex from the pronouns of the prayers ("geef hem de eeuwige rust").
QString SexFromPronouns(const QString &text, bool *mixed)
{
    static const QRegularExpression him(QStringLiteral("\\bhem\\b"), kAnyCase);
    static const QRegularExpression her(QStringLiteral("\\bhaar\\b"), kAnyCase);
    const qsizetype m = text.count(him), v = text.count(her);
    *mixed = m > 0 && v > 0;
    if (m > v)
        return QStringLiteral("M");
    if (v > m)
        return QStringLiteral("V");
    return {};
}

int YearOf(const QString &iso) { return iso.left(4).toInt(); }

// Checks between facts: a death before the birth, an age that disagrees with the dates.
void CheckConsistency(CardFacts &f, QHash<QString, QString> &doubt)
{
    if (!f.birthDate.isEmpty() && !f.deathDate.isEmpty()) {
        const qsizetype common = std::min(f.birthDate.size(), f.deathDate.size());
        if (f.deathDate.left(common) < f.birthDate.left(common))
            for (const char *column : {"geboortedatum", "overlijdensdatum"})
                doubt.insert(QLatin1String(column), QStringLiteral("Het overlijden ligt vóór de geboorte."));
    }
    if (f.age.isEmpty() || f.birthDate.isEmpty() || f.deathDate.isEmpty())
        return;
    const int years = YearOf(f.deathDate) - YearOf(f.birthDate);
    const int age = f.age.toInt();
    bool fits = age == years || age == years - 1;
    if (f.birthDate.size() == 10 && f.deathDate.size() == 10)
        fits = age == years - (f.deathDate.mid(5) < f.birthDate.mid(5) ? 1 : 0);
    if (!fits)
        doubt.insert(QStringLiteral("leeftijd"), QStringLiteral("De leeftijd klopt niet met de data."));
}

bool HoldsDoubtfulWord(const QString &source, const QSet<QString> &doubtfulWords)
{
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}'’]+"), kUnicode);
    QSet<QString> doubted;
    for (const QString &w : doubtfulWords)
        for (const QString &part : w.split(separators, Qt::SkipEmptyParts))
            doubted << part;
    const QStringList words = source.split(separators, Qt::SkipEmptyParts);
    return std::any_of(words.begin(), words.end(), [&](const QString &w) { return doubted.contains(w); });
}

} // namespace

QString IsoDate(const QString &text, bool *valid)
{
    const FoundDate d = FirstDate(text);
    if (valid)
        *valid = d.valid;
    return d.iso;
}

const QStringList &CardFactColumns()
{
    static const QStringList kColumns = {"voornamen", "tussenvoegsel", "achternaam", "geslacht",
                                         "geboortedatum", "geboorteplaats", "overlijdensdatum",
                                         "overlijdensplaats", "partner", "relatie", "leeftijd"};
    return kColumns;
}

namespace {
QString *Field(CardFacts &f, const QString &column)
{
    QString *const fields[] = {&f.givenNames, &f.infix,     &f.surname,    &f.sex,      &f.birthDate, &f.birthPlace,
                               &f.deathDate,  &f.deathPlace, &f.partner,   &f.relation, &f.age};
    const qsizetype i = CardFactColumns().indexOf(column);
    return i < 0 ? nullptr : fields[i];
}
} // namespace

QString CardFactValue(const CardFacts &facts, const QString &column)
{
    const QString *field = Field(const_cast<CardFacts &>(facts), column);
    return field ? *field : QString();
}

void SetCardFactValue(CardFacts &facts, const QString &column, const QString &value)
{
    if (QString *field = Field(facts, column))
        *field = value;
}

QString CardFacts::fullName() const
{
    QStringList parts;
    for (const QString *p : {&givenNames, &infix, &surname})
        if (!p->isEmpty())
            parts << *p;
    return parts.join(QLatin1Char(' '));
}

QString CardTitle(const CardFacts &f)
{
    QString title = QStringLiteral("Bidprentje van ") + f.fullName();
    if (!f.birthDate.isEmpty() || !f.deathDate.isEmpty())
        title += QStringLiteral(" (%1–%2)").arg(f.birthDate.left(4), f.deathDate.left(4));
    return title;
}

QStringList CardSubjects(const CardFacts &f)
{
    QStringList subjects{QStringLiteral("bidprentje")};
    if (!f.surname.isEmpty())
        subjects << f.surname;
    return subjects;
}

namespace {

// The facts as they are read, marker by marker, with what each came from and why any is doubted.
struct FactReading {
    CardFacts f;
    QHash<QString, QString> doubt;   // column -> why
    QHash<QString, QString> sources; // column -> the text it was read from
    bool deathPlaceIsBirthPlace = false;
    QString sexCue;
    bool sexConflict = false;

    void name(const QString &text)
    {
        SplitPersonName(NameBefore(text), f);
        sources.insert(QStringLiteral("voornamen"), f.givenNames);
        sources.insert(QStringLiteral("tussenvoegsel"), f.infix);
        sources.insert(QStringLiteral("achternaam"), f.surname);
        if (!f.surname.isEmpty() && f.givenNames.isEmpty())
            doubt.insert(QStringLiteral("achternaam"), QStringLiteral("Er is maar één naam gelezen."));
    }

    // A birth or death: its date and place, and whether the death was "aldaar".
    void event(const QString &text, const Found &m, QString clause)
    {
        static const QRegularExpression aldaar(QStringLiteral("\\b(?:en\\s+)?aldaar\\b"), kAnyCase);
        static const QRegularExpression aldaarBefore(QStringLiteral("\\baldaar\\s*$"), kAnyCase);
        const bool birth = m.kind == Marker::Birth;
        const QString before = text.mid(std::max<qsizetype>(0, m.start - 20), std::min<qsizetype>(20, m.start));
        if ((!birth && (clause.contains(aldaar) || before.contains(aldaarBefore)))
            || (birth && clause.trimmed().endsWith(QLatin1String("aldaar"))))
            deathPlaceIsBirthPlace = true;
        clause.remove(aldaar);
        QString &date = birth ? f.birthDate : f.deathDate;
        QString &place = birth ? f.birthPlace : f.deathPlace;
        const QString dateColumn = birth ? "geboortedatum" : "overlijdensdatum";
        const QString placeColumn = birth ? "geboorteplaats" : "overlijdensplaats";
        if (date.isEmpty()) {
            const FoundDate d = FirstDate(clause);
            date = d.iso;
            sources.insert(dateColumn, d.source);
            if (!d.iso.isEmpty() && !d.valid)
                doubt.insert(dateColumn, QStringLiteral("Deze datum bestaat niet."));
        }
        if (place.isEmpty()) {
            place = PlaceIn(clause);
            sources.insert(placeColumn, place);
        }
    }

    // A partner or parents: the sex they tell, and the partner's name.
    void relation(const Found &m, const QString &clause)
    {
        const QString cue = SexFromWord(m.word);
        if (!sexCue.isEmpty() && cue != sexCue)
            sexConflict = true;
        sexCue = sexCue.isEmpty() ? cue : sexCue;
        if (m.kind == Marker::Partner && f.relation.isEmpty()) {
            f.relation = m.word;
            f.partner = PartnerIn(clause);
            sources.insert(QStringLiteral("partner"), f.partner);
        }
    }

    void age(const QString &clause)
    {
        static const QRegularExpression years(QStringLiteral("^\\s*(\\d{1,3})\\s+ja(?:ar|ren)\\b"), kAnyCase);
        const auto a = years.match(clause);
        if (f.age.isEmpty() && a.hasMatch()) {
            f.age = a.captured(1);
            sources.insert(QStringLiteral("leeftijd"), f.age);
        }
    }

    // What the facts say together, and the doubts named column by column.
    CardFacts finish(const QString &text, const QSet<QString> &doubtfulWords)
    {
        if (deathPlaceIsBirthPlace && f.deathPlace.isEmpty())
            f.deathPlace = f.birthPlace;
        else if (deathPlaceIsBirthPlace && f.birthPlace.isEmpty())
            f.birthPlace = f.deathPlace;
        bool pronounsMixed = false;
        const QString pronounSex = SexFromPronouns(text, &pronounsMixed);
        f.sex = sexCue.isEmpty() ? pronounSex : sexCue;
        if (sexConflict || (sexCue.isEmpty() && pronounsMixed)
            || (!sexCue.isEmpty() && !pronounSex.isEmpty() && pronounSex != sexCue))
            doubt.insert(QStringLiteral("geslacht"), QStringLiteral("De tekst spreekt zichzelf tegen over man of vrouw."));
        CheckConsistency(f, doubt);
        for (auto it = sources.cbegin(); it != sources.cend(); ++it)
            if (HoldsDoubtfulWord(it.value(), doubtfulWords) && !doubt.contains(it.key()))
                doubt.insert(it.key(), QStringLiteral("De tekstherkenning twijfelde aan dit woord."));
        for (const QString &column : CardFactColumns())
            if (doubt.contains(column) && !CardFactValue(f, column).isEmpty()) {
                f.uncertain << column;
                f.reasons.insert(column, doubt.value(column));
            }
        return f;
    }
};

} // namespace

CardFacts ReadCardFacts(const QString &rawText, const QSet<QString> &doubtfulWords)
{
    const QString text = QString(rawText).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const std::vector<Found> markers = Markers(text);
    FactReading r;
    r.name(text.left(markers.empty() ? text.size() : markers.front().start));
    for (size_t i = 0; i < markers.size(); ++i) {
        const Found &m = markers[i];
        const QString clause = Clause(text, markers, i);
        if (m.kind == Marker::Birth || m.kind == Marker::Death)
            r.event(text, m, clause);
        else if (m.kind == Marker::Partner || m.kind == Marker::ChildOf)
            r.relation(m, clause);
        else if (m.kind == Marker::Age)
            r.age(clause);
    }
    return r.finish(text, doubtfulWords);
}
