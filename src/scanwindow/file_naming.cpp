#include "scanwindow/file_naming.h"

#include "common/filez.h"

#include <QDir>

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

bool HasFileNumber(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int end = dot < 0 ? name.size() : dot;
    return end > 0 && name[end - 1] >= QLatin1Char('0') && name[end - 1] <= QLatin1Char('9');
}

bool IsFileType(const QString &type)
{
    if (type.isEmpty())
        return true;
    if (type.size() < 2 || type.size() > 11 || type[0] != QLatin1Char('.'))
        return false;
    for (int i = 1; i < type.size(); ++i) {
        const char16_t c = type[i].unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')))
            return false;
    }
    return true;
}

QString PathInFolder(const QString &folder, const QString &path)
{
    // Worked out on the text: a folder on the way that is not there yet would
    // stop the system at "..", while a save that cleans the path would not stop.
    const QString cleaned = QDir::cleanPath(path);
    const QDir here = QDir::current();
    const QString inside = QDir::cleanPath(here.absoluteFilePath(folder));
    const QString whole = QDir::cleanPath(here.absoluteFilePath(cleaned));
    const QString prefix = inside.endsWith(QLatin1Char('/')) ? inside : inside + QLatin1Char('/');
    if (!whole.startsWith(prefix) || whole.size() == prefix.size())
        return {};
    return cleaned;
}

QString SavePath(const QString &folder, const QString &name, const QString &type, QString *why)
{
    QString failure;
    QString path;
    if (!IsFileType(type)) {
        failure = QStringLiteral("Bestandstype [%1] is geen extensie: een punt met alleen letters of cijfers").arg(type);
    } else {
        const QString raw = WithTrailingBackslash(folder) + SplitExtension(name).base.trimmed() + type;
        path = PathInFolder(folder, raw);
        if (path.isEmpty())
            failure = QStringLiteral("[%1] ligt buiten de doelmap [%2]").arg(raw, folder);
    }
    if (why)
        *why = failure;
    return path;
}
