#include "scanner/bridge/bmp_writer.h"

#include "common/io_vectors.h"
#include "scanner/bridge/frame_assembler.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Rows per write call; two entries a row stay within the system's limit of 1024.
constexpr size_t kRowsPerCall = 500;

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

    // Writes every byte of the entries, however the system splits them.
    bool write(std::vector<iovec> &iov)
    {
        size_t first = 0;
        while (first < iov.size()) {
            const ssize_t n = ::writev(m_fd, iov.data() + first, int(std::min<size_t>(iov.size() - first, 1024)));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_error = errno;
                return false;
            }
            AdvanceIoVectors(iov, first, size_t(n));
        }
        return true;
    }

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

void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

QString WriteBmp(const QImage &source, double dpi, const QString &path)
{
    if (source.isNull())
        return QStringLiteral("Er is geen beeld om op te slaan.");
    QImage image = source;
    int bits;
    switch (image.format()) {
    case QImage::Format_Mono:
        bits = 1;
        break;
    case QImage::Format_Grayscale8:
        bits = 8;
        break;
    case QImage::Format_BGR888:
        bits = 24;
        break;
    default:
        image = image.convertToFormat(QImage::Format_BGR888);
        bits = 24;
        if (image.isNull())
            return QStringLiteral("Te weinig geheugen om de scan op te slaan.");
    }
    const uint64_t w = uint64_t(image.width()), h = uint64_t(image.height());
    const uint64_t fileBytes = BmpFileBytes(w, h, bits);
    if (fileBytes > kMaxBmpFileBytes)
        return QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB).");
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const uint32_t headerBytes = 14 + 40 + colours * 4;
    const size_t rowBytes = size_t(((w * bits + 31) / 32) * 4);
    const int32_t ppm = dpi > 0 ? int32_t(std::lround(dpi / 0.0254)) : 0;

    std::vector<uint8_t> header(headerBytes, 0);
    uint8_t *p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, uint32_t(fileBytes));
    put32(p + 10, headerBytes);
    put32(p + 14, 40);
    put32(p + 18, uint32_t(w));
    put32(p + 22, uint32_t(h));  // positive: rows bottom-up
    put16(p + 26, 1);
    put16(p + 28, uint16_t(bits));
    put32(p + 34, uint32_t(rowBytes * h));
    put32(p + 38, uint32_t(ppm));
    put32(p + 42, uint32_t(ppm));
    put32(p + 46, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        QRgb c = bits == 1 ? image.color(int(i)) : qRgb(int(i), int(i), int(i));
        uint8_t *e = p + 54 + 4 * i;
        e[0] = uint8_t(qBlue(c));
        e[1] = uint8_t(qGreen(c));
        e[2] = uint8_t(qRed(c));
    }

    // Rows go out bottom-up straight from the picture, many per call, with
    // the padding from a zero block: no copy of the pixels is made.
    const size_t used = size_t((w * bits + 7) / 8);
    const size_t pad = rowBytes - used;
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    RawSaveFile file(path);
    if (!file.open())
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    std::vector<iovec> iov;
    iov.reserve(kRowsPerCall * 2 + 1);
    iov.push_back({header.data(), header.size()});
    bool ok = true;
    for (int64_t y = int64_t(h) - 1; ok && y >= 0;) {
        for (size_t n = 0; n < kRowsPerCall && y >= 0; ++n, --y) {
            iov.push_back({const_cast<uchar *>(image.constScanLine(int(y))), used});
            if (pad)
                iov.push_back({const_cast<uint8_t *>(zeros), pad});
        }
        ok = file.write(iov);
        iov.clear();
    }
    if (!ok) {
        const QString why = file.errorString();
        file.cancel();
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, why);
    }
    if (!file.commit())
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    return {};
}
