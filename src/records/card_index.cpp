#include "records/card_index.h"

#include <QStringList>

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// The column's value of a card.
QString Value(const CardRecord &card, const QString &column)
{
    if (column == QLatin1String("bestand"))
        return card.file;
    if (column == QLatin1String("voorkant"))
        return card.front;
    if (column == QLatin1String("achterkant"))
        return card.back;
    if (column == QLatin1String("onzeker"))
        return card.facts.uncertain.join(QLatin1Char(','));
    if (column == QLatin1String("zelfde_als"))
        return card.sameAs;
    if (column == QLatin1String("tekst")) {
        // One row a card: line ends written as \n, so a backslash is doubled.
        QString t = card.text;
        t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return t.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    }
    return CardFactValue(card.facts, column);
}

void SetValue(CardRecord &card, const QString &column, const QString &value)
{
    if (column == QLatin1String("bestand"))
        card.file = value;
    else if (column == QLatin1String("voorkant"))
        card.front = value;
    else if (column == QLatin1String("achterkant"))
        card.back = value;
    else if (column == QLatin1String("onzeker"))
        card.facts.uncertain = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    else if (column == QLatin1String("zelfde_als"))
        card.sameAs = value;
    else if (column == QLatin1String("tekst")) {
        QString t;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
                t += value[i + 1] == QLatin1Char('n') ? QChar('\n') : value[i + 1];
                ++i;
            } else {
                t += value[i];
            }
        }
        card.text = t;
    } else {
        SetCardFactValue(card.facts, column, value);
    }
}

QString Quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(';')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n'))
        && !field.contains(QLatin1Char('\r')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

// The rows of a ';'-separated file, fields unquoted.
QList<QStringList> Rows(const QString &csv)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QChar c = csv[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < csv.size() && csv[i + 1] == QLatin1Char('"'))
                field += c, ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c == QLatin1Char(';')) {
            row << field, field.clear(), any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (any || !field.isEmpty())
                rows << (row << field);
            row.clear(), field.clear(), any = false;
        } else {
            field += c, any = true;
        }
    }
    if (any || !field.isEmpty())
        rows << (row << field);
    return rows;
}

QString Line(int level, const QString &tag, const QString &value = {})
{
    QString v = value;
    v.replace(QLatin1Char('@'), QLatin1String("@@"));
    return QString::number(level) + QLatin1Char(' ') + tag + (v.isEmpty() ? QString() : QLatin1Char(' ') + v) + QLatin1Char('\n');
}

// A line pointing at a record: its '@' are the pointer's own.
QString Ref(int level, const QString &tag, char kind, int id)
{
    return QStringLiteral("%1 %2 @%3%4@\n").arg(level).arg(tag).arg(QLatin1Char(kind)).arg(id);
}

// A text of several lines as a GEDCOM value: CONT for each further line, CONC for long ones.
QString LongValue(int level, const QString &tag, const QString &text)
{
    QString out;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        out += Line(i == 0 ? level : level + 1, i == 0 ? tag : QStringLiteral("CONT"), line.left(200));
        for (line.remove(0, 200); !line.isEmpty(); line.remove(0, 200))
            out += Line(level + 1, QStringLiteral("CONC"), line.left(200));
    }
    return out;
}

QString NameLines(const CardFacts &f)
{
    QString given = f.givenNames, out;
    out += Line(1, QStringLiteral("NAME"), (given.isEmpty() ? QString() : given + QLatin1Char(' ')) + QLatin1Char('/') + f.surname + QLatin1Char('/'));
    if (!given.isEmpty())
        out += Line(2, QStringLiteral("GIVN"), given);
    if (!f.infix.isEmpty())
        out += Line(2, QStringLiteral("SPFX"), f.infix);
    if (!f.surname.isEmpty())
        out += Line(2, QStringLiteral("SURN"), f.surname);
    return out;
}

QString Event(const QString &tag, const QString &date, const QString &place)
{
    if (date.isEmpty() && place.isEmpty())
        return {};
    QString out = Line(1, tag);
    if (!GedcomDate(date).isEmpty())
        out += Line(2, QStringLiteral("DATE"), GedcomDate(date));
    if (!place.isEmpty())
        out += Line(2, QStringLiteral("PLAC"), place);
    return out;
}

QString Sex(const QString &sex)
{
    return sex == QLatin1String("M") ? QStringLiteral("M") : sex == QLatin1String("V") ? QStringLiteral("F") : QString();
}

QString PartnerSex(const QString &relation)
{
    if (relation == QLatin1String("echtgenoot") || relation == QLatin1String("weduwnaar"))
        return QStringLiteral("F");
    if (relation == QLatin1String("echtgenote") || relation == QLatin1String("weduwe"))
        return QStringLiteral("M");
    return {};
}

QString Person(int id, const CardRecord &card, int family)
{
    const CardFacts &f = card.facts;
    QString out = QStringLiteral("0 @I%1@ INDI\n").arg(id) + NameLines(f);
    if (!Sex(f.sex).isEmpty())
        out += Line(1, QStringLiteral("SEX"), Sex(f.sex));
    out += Event(QStringLiteral("BIRT"), f.birthDate, f.birthPlace) + Event(QStringLiteral("DEAT"), f.deathDate, f.deathPlace);
    if (!card.file.isEmpty()) {
        const QString form = card.file.section(QLatin1Char('.'), -1).toLower();
        out += Line(1, QStringLiteral("OBJE")) + Line(2, QStringLiteral("FILE"), card.file)
               + Line(3, QStringLiteral("FORM"), form == QLatin1String("jpg") ? QStringLiteral("jpeg") : form);
        out += Line(2, QStringLiteral("TITL"), CardTitle(f));
    }
    if (!f.uncertain.isEmpty())
        out += Line(1, QStringLiteral("NOTE"), QStringLiteral("Onzeker: ") + f.uncertain.join(QStringLiteral(", ")));
    if (!card.text.isEmpty())
        out += LongValue(1, QStringLiteral("NOTE"), card.text);
    if (family > 0)
        out += Ref(1, QStringLiteral("FAMS"), 'F', family);
    return out;
}

} // namespace

const QStringList &CardIndexColumns()
{
    static const QStringList kColumns = [] {
        QStringList c = {"bestand", "voorkant", "achterkant"};
        c << CardFactColumns() << "onzeker" << "zelfde_als" << "tekst";
        return c;
    }();
    return kColumns;
}

QByteArray CardIndexWithRows(const QByteArray &existing, const QList<CardRecord> &added)
{
    QByteArray out = existing;
    if (out.isEmpty())
        out = QByteArray(kBom) + CardIndexColumns().join(QLatin1Char(';')).toUtf8() + '\n';
    else if (!out.endsWith('\n'))
        out += '\n';
    for (const CardRecord &card : added) {
        QStringList fields;
        for (const QString &column : CardIndexColumns())
            fields << Quoted(Value(card, column));
        out += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    }
    return out;
}

QList<CardRecord> ReadCardIndex(const QByteArray &index)
{
    QByteArray bytes = index;
    if (bytes.startsWith(kBom))
        bytes.remove(0, 3);
    const QList<QStringList> rows = Rows(QString::fromUtf8(bytes));
    QList<CardRecord> cards;
    if (rows.isEmpty())
        return cards;
    const QStringList header = rows.front();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        CardRecord card;
        for (qsizetype c = 0; c < header.size() && c < rows[r].size(); ++c)
            SetValue(card, header[c], rows[r][c]);
        cards << card;
    }
    return cards;
}

QString GedcomDate(const QString &iso)
{
    static const char *const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const QStringList parts = iso.split(QLatin1Char('-'));
    bool ok = false;
    const int year = parts.value(0).toInt(&ok);
    if (!ok || parts.value(0).size() != 4)
        return {};
    const int month = parts.value(1).toInt();
    const int day = parts.value(2).toInt();
    QString out = QString::number(year);
    if (month >= 1 && month <= 12)
        out = QLatin1String(kMonths[month - 1]) + QLatin1Char(' ') + out;
    if (day > 0 && month >= 1 && month <= 12)
        out = QString::number(day) + QLatin1Char(' ') + out;
    return out;
}

QByteArray GedcomOfCards(const QList<CardRecord> &cards)
{
    QString out = QStringLiteral("0 HEAD\n1 SOUR KVNscan\n2 NAME KVNscan\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n"
                                 "1 CHAR UTF-8\n1 LANG Dutch\n");
    QString families;
    int id = 0, family = 0;
    for (const CardRecord &card : cards) {
        const bool partner = !card.facts.partner.isEmpty();
        const int person = ++id;
        out += Person(person, card, partner ? family + 1 : 0);
        if (!partner)
            continue;
        ++family;
        CardRecord other;
        SplitPersonName(card.facts.partner, other.facts);
        const int spouse = ++id;
        out += QStringLiteral("0 @I%1@ INDI\n").arg(spouse) + NameLines(other.facts);
        const QString sex = PartnerSex(card.facts.relation);
        if (!sex.isEmpty())
            out += Line(1, QStringLiteral("SEX"), sex);
        out += Ref(1, QStringLiteral("FAMS"), 'F', family);
        const bool personIsHusband = Sex(card.facts.sex) != QLatin1String("F") && sex != QLatin1String("M");
        families += QStringLiteral("0 @F%1@ FAM\n").arg(family)
                    + Ref(1, QStringLiteral("HUSB"), 'I', personIsHusband ? person : spouse)
                    + Ref(1, QStringLiteral("WIFE"), 'I', personIsHusband ? spouse : person);
    }
    return (out + families + QStringLiteral("0 TRLR\n")).toUtf8();
}
