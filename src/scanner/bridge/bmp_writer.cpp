#include "scanner/bridge/bmp_writer.h"

#include "common/bmp_file.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A file written beside its target under a temporary name and renamed over
// the target only when every byte was written, so a reader never sees half a
// picture. Unlike QSaveFile it does not force the bytes to the disk: the file
// is a transfer file read back at once, and the rename alone keeps it whole
// for every reader.
class RawSaveFile {
public:
    explicit RawSaveFile(const QString &path) : m_target(path) {}
    ~RawSaveFile() { cancel(); }

    bool open()
    {
        // Replace what a link points at, as QSaveFile does, not the link.
        const QFileInfo info(m_target);
        if (info.isSymLink() && info.exists())
            m_target = info.canonicalFilePath();
        static std::atomic<unsigned> counter{0};
        for (int tries = 0; tries < 100; ++tries) {
            m_temp = QFile::encodeName(m_target) + ".tmp" + QByteArray::number(qint64(::getpid())) + "."
                     + QByteArray::number(counter.fetch_add(1));
            m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0 || errno != EEXIST)
                break;
        }
        if (m_fd < 0) {
            m_error = errno;
            return false;
        }
        // An existing file keeps its permissions.
        struct stat st {};
        if (::stat(QFile::encodeName(m_target).constData(), &st) == 0)
            (void)::fchmod(m_fd, st.st_mode & 07777);
        return true;
    }

    int fd() const { return m_fd; }
    void failed() { m_error = errno; }

    bool commit()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            m_error = errno;
            ::unlink(m_temp.constData());
            m_temp.clear();
            return false;
        }
        const QByteArray target = QFile::encodeName(m_target);
        // Swapping names replaces an existing file as atomically as a rename,
        // without the forced write-out some file systems start on a rename
        // over a file; the old picture then goes under the temporary name.
        struct stat st {};
        if (::lstat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)
            && ::renameat2(AT_FDCWD, m_temp.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0) {
            ::unlink(m_temp.constData());
            m_temp.clear();
            return true;
        }
        if (::rename(m_temp.constData(), target.constData()) != 0) {
            m_error = errno;
            ::unlink(m_temp.constData());
            m_temp.clear();
            return false;
        }
        m_temp.clear();
        return true;
    }

    void cancel()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (!m_temp.isEmpty()) {
            ::unlink(m_temp.constData());
            m_temp.clear();
        }
    }

    QString errorString() const { return QString::fromLocal8Bit(std::strerror(m_error)); }

private:
    QString m_target;
    QByteArray m_temp;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

QString WriteBmp(const QImage &source, double dpi, const QString &path)
{
    if (source.isNull())
        return QStringLiteral("Er is geen beeld om op te slaan.");
    QImage image = source;
    if (BmpBits(image) == 0) {
        image = image.convertToFormat(QImage::Format_BGR888);
        if (image.isNull())
            return QStringLiteral("Te weinig geheugen om de scan op te slaan.");
    }
    if (BmpFileBytes(uint64_t(image.width()), uint64_t(image.height()), BmpBits(image)) > kMaxBmpFileBytes)
        return QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB).");
    const uint32_t ppm = dpi > 0 ? uint32_t(std::lround(dpi / 0.0254)) : 0;
    RawSaveFile file(path);
    if (!file.open())
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    if (!WriteBmpTo(file.fd(), image, ppm, ppm)) {
        file.failed();
        const QString why = file.errorString();
        file.cancel();
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, why);
    }
    if (!file.commit())
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    return {};
}
