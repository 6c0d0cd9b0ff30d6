// Text replacement: first occurrence, all occurrences, repeated passes.
#include "common/filez.h"

#include <array>

namespace {
// Built at compile time so that searches made during static initialisation
// elsewhere already see it. Matches QChar::toUpper over Latin-1.
constexpr std::array<char16_t, 256> makeUpperTable()
{
    std::array<char16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        char16_t c = char16_t(i);
        if ((i >= 'a' && i <= 'z') || (i >= 0xE0 && i <= 0xFE && i != 0xF7))
            c = char16_t(i - 32);
        else if (i == 0xB5)
            c = 0x039C;  // micro sign: Greek capital mu
        else if (i == 0xFF)
            c = 0x0178;  // y with diaeresis
        t[std::size_t(i)] = c;
    }
    return t;
}
constexpr std::array<char16_t, 256> kUpper = makeUpperTable();

inline char16_t fold(char16_t c) { return c < 256 ? kUpper[c] : QChar(c).toUpper().unicode(); }

inline QChar asciiLower(QChar c) { return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + 32) : c; }
inline QChar asciiUpper(QChar c) { return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ? QChar(c.unicode() - 32) : c; }

// Position of find in text at or after from, or -1.
int findAt(const QString &text, const QString &find, int from, bool caseSensitive)
{
    const int n = text.size(), m = find.size();
    const char16_t *t = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *f = reinterpret_cast<const char16_t *>(find.constData());
    for (int i = from; i + m <= n; ++i) {
        int k = 0;
        if (caseSensitive) {
            while (k < m && t[i + k] == f[k])
                ++k;
        } else {
            while (k < m && fold(t[i + k]) == fold(f[k]))
                ++k;
        }
        if (k == m)
            return i;
    }
    return -1;
}

int findAsciiFolded(const QString &text, const QString &find)
{
    for (int i = 0; i + find.size() <= text.size(); ++i) {
        int k = 0;
        while (k < find.size() && asciiLower(text.at(i + k)) == asciiLower(find.at(k)))
            ++k;
        if (k == find.size())
            return i;
    }
    return -1;
}

// Function statics, so that replacing works during other files' static initialisation too.
const QString &allMarker()
{
    static const QString m = QStringLiteral("#$%tijdelijk%$#");
    return m;
}
const QString &repeatMarker()
{
    static const QString m = QStringLiteral("$%^zv#$%");
    return m;
}
constexpr int kMaxReplacements = 100000;
}

const char16_t *const UpperTable = kUpper.data();

bool ReplaceFirstText(QString &text, const QString &find, const QString &replacement, bool caseSensitive)
{
    if (text.isEmpty() || find.isEmpty())
        return false;
    const int at = caseSensitive ? text.indexOf(find) : findAsciiFolded(text, find);
    if (at < 0)
        return false;
    QString with = replacement;
    // A capital in the text at that place carries over to the replacement.
    if (text.at(at) != asciiLower(find.at(0)) && !with.isEmpty())
        with[0] = asciiUpper(with.at(0));
    text.replace(at, find.size(), with);
    const bool loops = caseSensitive ? replacement.contains(find) : findAsciiFolded(replacement, find) >= 0;
    return !loops;
}

int ReplaceOnePass(QString &text, const QString &find, const QString &replacement, bool caseSensitive)
{
    if (text.isEmpty() || find.isEmpty())
        return 0;
    int at = findAt(text, find, 0, caseSensitive);
    if (at < 0)
        return 0;
    qsizetype capacity = text.size();
    if (replacement.size() > find.size()) {
        // The worst case can be far beyond need (a long replacement of a single
        // character in a long text); the buffer grows when it has to.
        const double worst = double(text.size()) * double(replacement.size()) / double(find.size());
        capacity = qsizetype(qMin(worst, double(text.size()) * 2 + double(replacement.size()))) + 1;
    }
    QString out(capacity, Qt::Uninitialized);
    qsizetype used = 0;
    auto put = [&](const QChar *p, qsizetype n) {
        if (used + n > out.size()) {
            qsizetype grown = out.size();
            while (used + n > grown)
                grown = grown + grown / 2 + 1;
            out.resize(grown);
        }
        std::copy(p, p + n, out.data() + used);
        used += n;
    };
    int count = 0, from = 0;
    while (at >= 0) {
        put(text.constData() + from, at - from);
        put(replacement.constData(), replacement.size());
        ++count;
        from = at + find.size();
        at = findAt(text, find, from, caseSensitive);
    }
    put(text.constData() + from, text.size() - from);
    out.truncate(used);
    text = out;
    return count;
}

int ReplaceRepeated(QString &text, const QString &find, const QString &replacement, bool caseSensitive)
{
    if (find.isEmpty())
        return 0;
    int total = 0;
    const bool shrinks = !replacement.isEmpty() && findAt(find, replacement, 0, caseSensitive) >= 0;
    if (shrinks) {
        // Through a marker, so that what a pass leaves behind is not matched again.
        // As in ReplaceAllText: a marker holding find allows only one pass.
        const bool oncePass = findAt(repeatMarker(), find, 0, caseSensitive) >= 0;
        int n;
        while ((n = ReplaceOnePass(text, find, repeatMarker(), caseSensitive)) > 0) {
            total += n;
            if (oncePass || total > kMaxReplacements)
                break;
        }
        int back = 0;
        while ((n = ReplaceOnePass(text, repeatMarker(), replacement, true)) > 0) {
            back += n;
            if (back > kMaxReplacements)
                break;
        }
        return total;
    }
    int n;
    while ((n = ReplaceOnePass(text, find, replacement, caseSensitive)) > 0) {
        total += n;
        if (total > kMaxReplacements)
            break;
    }
    return total;
}

int ReplaceAllText(QString &text, const QString &find, const QString &replacement, bool caseSensitive)
{
    if (text.isEmpty() || find.isEmpty())
        return 0;
    QString what = find;
    if (findAt(replacement, find, 0, caseSensitive) >= 0) {
        // When the marker itself holds find, further passes would only grow the
        // text without end: one pass has then already replaced every occurrence.
        const bool oncePass = findAt(allMarker(), find, 0, caseSensitive) >= 0;
        int n, total = 0;
        while ((n = ReplaceOnePass(text, find, allMarker(), caseSensitive)) > 0) {
            total += n;
            if (oncePass || total > kMaxReplacements)
                break;
        }
        what = allMarker();
    }
    return ReplaceRepeated(text, what, replacement, what == allMarker() || caseSensitive);
}
