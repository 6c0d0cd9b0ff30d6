#include "common/settings_list.h"

#include "common/filez.h"

#include <QFile>
#include <QStringDecoder>

namespace {
// The name is everything before the first '='; a line without '=' has no name.
QString nameOf(const QString &line)
{
    const int eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.left(eq);
}
}

int SettingsList::indexOf(const QString &name) const
{
    if (name.isEmpty())
        return -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq == name.size() && line.startsWith(name, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

QString SettingsList::value(const QString &name) const
{
    const int i = indexOf(name);
    return i < 0 ? QString() : m_lines.at(i).mid(name.size() + 1);
}

bool SettingsList::contains(const QString &name) const { return indexOf(name) >= 0; }

void SettingsList::setValue(const QString &name, const QString &value)
{
    const int i = indexOf(name);
    if (value.isEmpty()) {
        if (i >= 0)
            m_lines.removeAt(i);
        return;
    }
    // Keep the stored spelling of the name when replacing.
    if (i >= 0)
        m_lines[i] = nameOf(m_lines.at(i)) + QLatin1Char('=') + value;
    else
        m_lines << name + QLatin1Char('=') + value;
}

void SettingsList::loadFromBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);  // older files were written in the ANSI code page
    m_lines.clear();
    if (text.isEmpty())
        return;
    m_lines = text.split(QLatin1Char('\n'));
    // A final line end does not start another line.
    if (text.endsWith(QLatin1Char('\n')))
        m_lines.removeLast();
    // Older files end their lines in CR LF; no line keeps a CR at its end, so
    // that what is written (LF) reads back the same.
    for (QString &line : m_lines) {
        while (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
}

QByteArray SettingsList::toBytes() const
{
    QByteArray out;
    for (const QString &line : m_lines) {
        out += line.toUtf8();
        out += '\n';
    }
    return out;
}

bool SettingsList::loadFromFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    loadFromBytes(bytes);
    return true;
}

bool SettingsList::saveToFile(const QString &path, QString *why) const
{
    // A link there was not made by the program: nothing is written through it,
    // least of all into a file of the system's when run as root.
    ReplacingSave save(path, ReplacingSave::Links::Refuse);
    if (save.write(toBytes()) && save.commit())
        return true;
    LogText(QStringLiteral("Kon [") + path + QStringLiteral("] niet schrijven (") + save.reason() + QStringLiteral(")."));
    if (why)
        *why = save.reason();
    return false;
}
