// Numbers and small text operations.
#include "common/character_table.h"
#include "common/filez.h"

#include <QHash>

namespace {
QChar asciiLower(QChar c) { return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + 32) : c; }
QChar asciiUpper(QChar c) { return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ? QChar(c.unicode() - 32) : c; }

const QString kSeparators = QStringLiteral(" \".,;:'()[]{}/\\@#$%^&*<>!?+-");
}

QString IntToText(qint64 value) { return QString::number(value); }

int TextToIntDef(const QString &text, int def)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : def;
}

int TextToInt(const QString &text) { return TextToIntDef(text, 0); }

QString FormatCount(qint64 value, int width)
{
    const bool negative = value < 0;
    // Magnitude as text without overflow for the smallest value.
    QString digits = QString::number(value);
    if (negative)
        digits.remove(0, 1);
    if (width > 0) {
        const int room = width - (negative ? 1 : 0);
        if (digits.size() < room)
            digits = QString(room - digits.size(), QLatin1Char('0')) + digits;
        return negative ? QLatin1Char('-') + digits : digits;
    }
    if (width == 0)
        return negative ? QLatin1Char('-') + digits : digits;
    for (int i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char('.'));
    if (negative)
        digits.prepend(QLatin1Char('-'));
    return digits.rightJustified(-width, QLatin1Char(' '));
}

QString TrimControl(const QString &text)
{
    int from = 0, to = text.size();
    while (from < to && text.at(from).unicode() <= ' ')
        ++from;
    while (to > from && text.at(to - 1).unicode() <= ' ')
        --to;
    return text.mid(from, to - from);
}

QString TrimLower(const QString &text)
{
    QString out = TrimControl(text);
    for (QChar &c : out)
        c = asciiLower(c);
    return out;
}

QChar LowerChar(QChar c)
{
    const QChar ascii = asciiLower(c);
    if (ascii != c)
        return ascii;
    if (kSeparators.contains(c))
        return c;
    for (const CharacterRow &row : CharacterTable) {
        if (AnsiToChar(row.AnsiCode) == c && row.LowerForm[0] != '\0')
            return QString::fromUtf8(row.LowerForm).at(0);
    }
    return c;
}

QString LowerText(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = LowerChar(c);
    return out;
}

namespace {
using CapCache = QHash<QString, QString>;

// The pieces are capitalised again and again by the mark rules; the cache keeps
// texts full of marks from costing exponential time.
QString capitalise(const QString &input, CapCache &cache)
{
    if (input.isEmpty())
        return input;
    const auto hit = cache.constFind(input);
    if (hit != cache.constEnd())
        return *hit;
    QString text = input;
    text[0] = asciiUpper(text.at(0));

    static const QString leading = QStringLiteral("([{-.,/");
    for (QChar mark : leading) {
        if (text.size() > 1 && text.at(0) == mark)
            text = mark + capitalise(text.mid(1), cache);
    }
    static const QString inner = QStringLiteral(".,-(");
    for (QChar mark : inner) {
        const int at = text.indexOf(mark);
        if (at >= 0)
            text = capitalise(text.left(at), cache) + mark + capitalise(text.mid(at + 1), cache);
    }
    // The rest is kept whole: cutting long names would lose text.
    if (text.size() > 1 && text.at(0) == QLatin1Char(','))
        text = QLatin1Char(',') + capitalise(text.mid(1), cache);
    if (text.startsWith(QLatin1String("'s-")))
        text = QStringLiteral("'s-") + capitalise(text.mid(3), cache);
    if (text.size() > 1 && (text.at(0) == QLatin1Char('I') || text.at(0) == QLatin1Char('i'))
        && (text.at(1) == QLatin1Char('J') || text.at(1) == QLatin1Char('j')))
        text[1] = QLatin1Char('J');
    cache.insert(input, text);
    return text;
}
}

QString CapitaliseName(const QString &text, bool lowerFirst, const QStringList *exceptions)
{
    if (text.isEmpty())
        return text;
    if (exceptions && exceptions->contains(text, Qt::CaseInsensitive))
        return LowerText(text);
    CapCache cache;
    return capitalise(lowerFirst ? LowerText(text) : text, cache);
}
