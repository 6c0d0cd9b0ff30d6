// Temporary files beside the file they will replace.
#include "common/filez.h"

#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest name a folder entry may have on the usual file systems.
constexpr int kNameMax = 255;
const QByteArray kSuffix = ".part";
constexpr int kRandomLength = 6;   // the XXXXXX of mkstemps

bool randomChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// "." + name + "." + six letters or digits + ".part", name not empty.
bool isTemporaryName(const QByteArray &n)
{
    const int tail = 1 + kRandomLength + int(kSuffix.size());
    if (n.size() < 2 + tail || n.at(0) != '.' || !n.endsWith(kSuffix) || n.at(n.size() - tail) != '.')
        return false;
    for (int i = n.size() - tail + 1; i < n.size() - kSuffix.size(); ++i) {
        if (!randomChar(n.at(i)))
            return false;
    }
    return true;
}

mode_t newFileMode(const QByteArray &target, const QByteArray &folder)
{
    struct stat st;
    if (::stat(target.constData(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    // A private folder (the last scan's) keeps what it holds private as well.
    if (::stat(folder.isEmpty() ? "." : folder.constData(), &st) == 0 && (st.st_mode & 077) == 0)
        mode &= 0700;
    return mode;
}
}

void RemoveStaleTemporaries(const QByteArray &folder)
{
    const QByteArray dirName = folder.isEmpty() ? QByteArray(".") : folder;
    DIR *dir = ::opendir(dirName.constData());
    if (!dir)
        return;
    const time_t now = std::time(nullptr);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (!isTemporaryName(name))
            continue;
        const QByteArray path = dirName + '/' + name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A save holds its file locked until it is renamed or removed.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && now - st.st_mtime >= kStaleTemporarySeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::unlink(path.constData()) != 0 && errno != ENOENT) {
            LogText(QStringLiteral("Kon oud tijdelijk bestand [") + PathFromNative(path)
                    + QStringLiteral("] niet verwijderen: ") + QString::fromLocal8Bit(std::strerror(errno)));
        }
        ::close(fd);
    }
    ::closedir(dir);
}

int CreateTemporaryBeside(const QByteArray &target, QByteArray &temporary)
{
    const int slash = int(target.lastIndexOf('/'));
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    QByteArray name = target.mid(slash + 1);
    RemoveStaleTemporaries(slash < 0 ? QByteArray() : target.left(slash == 0 ? 1 : slash));
    // The temporary name's own part gives way: the target keeps its name.
    const int room = kNameMax - 2 - kRandomLength - int(kSuffix.size());
    if (name.size() > room) {
        int cut = room;
        while (cut > 0 && (uchar(name.at(cut)) & 0xC0) == 0x80)
            --cut;   // not inside a UTF-8 character
        name.truncate(cut > 0 ? cut : room);
    }
    temporary = folder + '.' + name + '.' + QByteArray(kRandomLength, 'X') + kSuffix;
    const int fd = ::mkostemps(temporary.data(), int(kSuffix.size()), O_CLOEXEC);
    if (fd < 0)
        return -1;
    ::fchmod(fd, newFileMode(target, folder));
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}
