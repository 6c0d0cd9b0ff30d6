#include "scanwindow/file_naming.h"

#include "common/filez.h"

namespace {
// Adds one to a run of decimal digits of any length, so a run too long for a
// machine integer still counts on ("99999999999" -> "100000000000").
QString incremented(const QString &digits)
{
    QString s = digits;
    int i = s.size() - 1;
    for (; i >= 0; --i) {
        if (s[i] == QLatin1Char('9')) {
            s[i] = QLatin1Char('0');
        } else {
            s[i] = QChar(s[i].unicode() + 1);
            break;
        }
    }
    if (i < 0)
        s.prepend(QLatin1Char('1'));
    // The number is written without the run's own leading zeros.
    int first = 0;
    while (first < s.size() - 1 && s[first] == QLatin1Char('0'))
        ++first;
    return s.mid(first);
}
}

QString NextFileName(const QString &name, int digits)
{
    if (name.isEmpty())
        return QStringLiteral("document");
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    int start = stem.size();
    while (start > 0 && stem[start - 1] >= QLatin1Char('0') && stem[start - 1] <= QLatin1Char('9'))
        --start;
    const QString run = stem.mid(start);
    QString number = incremented(run.isEmpty() ? QStringLiteral("0") : run);
    if (number.size() < digits)
        number = QString(digits - number.size(), QLatin1Char('0')) + number;
    return stem.left(start) + number + extension;
}
