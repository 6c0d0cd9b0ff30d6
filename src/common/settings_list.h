#pragma once
// The settings file in memory: ordered "name=value" lines; names compare
// without case. Unknown lines are kept as they are.
#include <QString>
#include <QStringList>

class SettingsList {
public:
    QString value(const QString &name) const;          // missing name -> empty
    void setValue(const QString &name, const QString &value); // empty value removes the line
    bool contains(const QString &name) const;
    const QStringList &lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

    // Whole-file load/save. Load accepts LF and CR LF, UTF-8 or (when not valid
    // UTF-8) Latin-1. Save writes UTF-8 with LF, atomically, and never through a
    // symbolic link; false on failure, with why (Dutch) saying what failed.
    bool loadFromFile(const QString &path);
    bool saveToFile(const QString &path, QString *why = nullptr) const;
    void loadFromBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

private:
    int indexOf(const QString &name) const;
    QStringList m_lines;
};
