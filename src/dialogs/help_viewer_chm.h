#pragma once
// Read access to the pages of a compiled help file.
#include <QByteArray>
#include <QString>
#include <QStringList>

struct chmFile;

class ChmArchive {
public:
    ChmArchive() = default;
    ~ChmArchive();
    ChmArchive(const ChmArchive &) = delete;
    ChmArchive &operator=(const ChmArchive &) = delete;

    bool open(const QString &path);   // closes a file opened before
    void close();
    bool isOpen() const { return m_file != nullptr; }
    QString fileName() const { return m_path; }

    // Objects are named by their path inside the file; a missing leading '/' is added.
    bool contains(const QString &object) const;
    // The whole object, or ok = false when it is missing, unreadable or implausibly large.
    QByteArray read(const QString &object, bool *ok = nullptr) const;
    // The page the help file opens on by itself, without leading '/'; empty when unknown.
    QString defaultTopic() const;
    // Every page (.htm, .html) in the file, without leading '/'.
    QStringList pages() const;

    static constexpr qint64 kMaxObjectSize = 64 * 1024 * 1024;

private:
    chmFile *m_file = nullptr;
    QString m_path;
};
