#pragma once
// Whole-file reads and writes for tests that compare files byte for byte.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Makes writes past a few bytes fail as on a full disk, for its lifetime.
class TinyFileLimit {
public:
    explicit TinyFileLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = m_old;
        r.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~TinyFileLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

// Removes a folder by its bytes, with what it holds two levels deep: Qt cannot
// name (and so cannot remove) entries whose names are not UTF-8.
inline void removeByBytes(const QByteArray &folder, int depth = 2)
{
    if (DIR *d = opendir(folder.constData())) {
        while (dirent *e = readdir(d)) {
            const QByteArray n(e->d_name);
            if (n == "." || n == "..")
                continue;
            const QByteArray p = folder + '/' + n;
            if (unlink(p.constData()) != 0 && depth > 0)
                removeByBytes(p, depth - 1);
        }
        closedir(d);
    }
    rmdir(folder.constData());
}
