// Replacing a file whole: pictures, texts, index files and settings alike.
#include "common/filez.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's own limit on links met while resolving one name.
constexpr int kMaxLinks = 40;

// The file a chain of symbolic links ends at, a missing one included (an editor
// writing through a dangling link creates the file it names). False with errno set.
bool followLinks(QByteArray &path)
{
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        if (hops == kMaxLinks) {
            errno = ELOOP;
            return false;
        }
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer - 1);
        if (n < 0)
            return false;
        const QByteArray to(buffer, int(n));
        path = to.startsWith('/') ? to : path.left(path.lastIndexOf('/') + 1) + to;
    }
}

QString systemReason(int error) { return DutchReason(QString::fromLocal8Bit(std::strerror(error))); }
}

ReplacingSave::ReplacingSave(const QString &fileName, Links links) : m_fileName(fileName), m_links(links) {}

ReplacingSave::~ReplacingSave()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

QString ReplacingSave::temporaryPath() const { return PathFromNative(m_temp); }

bool ReplacingSave::fail(const QString &step, int error, const QString &why)
{
    if (m_error == 0) {
        m_error = error;
        m_reason = step + QStringLiteral(": ") + (why.isEmpty() ? systemReason(error) : why);
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
    m_written = false;
    return false;
}

bool ReplacingSave::open()
{
    const QString created = QStringLiteral("aanmaken mislukt");
    if (m_fileName.isEmpty())
        return fail(created, ENOENT, QStringLiteral("lege bestandsnaam"));
    m_target = NativePath(QDir::current().absoluteFilePath(m_fileName));
    struct stat st;
    if (m_links == Links::Refuse && ::lstat(m_target.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        return fail(created, ELOOP, QStringLiteral("het is een symbolische koppeling"));
    if (m_links == Links::Follow && !followLinks(m_target))
        return fail(created, errno);
    if (::stat(m_target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(created, EISDIR);
        // A file the user may not write stays as it is, as it would when written in place.
        if (::access(m_target.constData(), W_OK) != 0)
            return fail(created, errno);
    }
    m_fd = CreateTemporaryBeside(m_target, m_temp);
    if (m_fd < 0) {
        const int error = errno;
        m_temp.clear();
        return fail(created, error);
    }
    return true;
}

bool ReplacingSave::write(const std::function<bool(FILE *)> &encode)
{
    if (!open())
        return false;
    FILE *f = ::fdopen(m_fd, "w+b");
    if (!f)
        return fail(QStringLiteral("aanmaken mislukt"), errno);
    m_fd = -1;   // the stream owns it now
    // The encoders write a row at a time; gather them into large writes.
    std::setvbuf(f, nullptr, _IOFBF, size_t(4) << 20);
    errno = 0;
    const bool encoded = encode(f);
    int error = errno;
    bool ok = std::fflush(f) == 0;
    if (!ok)
        error = errno;
    ok = ok && encoded && !std::ferror(f);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        return fail(QStringLiteral("schrijven mislukt"), error ? error : EIO);
    m_written = true;
    return true;
}

bool ReplacingSave::write(const QByteArray &bytes)
{
    if (!open())
        return false;
    const QString step = QStringLiteral("schrijven mislukt");
    // Every byte, however the system splits the writes: a short count is a full disk.
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(step, n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(m_fd) != 0 && errno != EINVAL)
        return fail(step, errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(QStringLiteral("afsluiten mislukt"), errno);
    m_written = true;
    return true;
}

bool ReplacingSave::commit(const std::function<bool(const QString &)> &finish)
{
    if (!m_written)
        return m_error == 0 ? fail(QStringLiteral("schrijven mislukt"), EIO) : false;
    if (finish && !finish(temporaryPath()))
        return fail(QStringLiteral("afronden mislukt"), EIO);
    // Swapping names replaces a file as atomically as a rename, without the forced
    // write-out some file systems start on a rename over a file; the old one then
    // goes under the temporary name. With Links::Refuse a link planted meanwhile is
    // replaced by the rename, never written through.
    struct stat st;
    if (::lstat(m_target.constData(), &st) == 0 && S_ISREG(st.st_mode)
        && ::renameat2(AT_FDCWD, m_temp.constData(), AT_FDCWD, m_target.constData(), RENAME_EXCHANGE) == 0) {
        ::unlink(m_temp.constData());
    } else if (::rename(m_temp.constData(), m_target.constData()) != 0) {
        return fail(QStringLiteral("vervangen mislukt"), errno);
    }
    m_temp.clear();
    m_written = false;
    return true;
}
