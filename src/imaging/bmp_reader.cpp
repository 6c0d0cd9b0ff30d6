#include "imaging/bmp_reader.h"

#include "codec/picture_buffer.h"
#include "common/filez.h"
#include "common/io_vectors.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

// Closes the descriptor on every way out.
struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Fills the rows bottom-up from offset, many rows per call; false when the
// file ends early or cannot be read.
bool readRows(int fd, QImage &img, off_t offset, size_t rowBytes)
{
    constexpr int kRowsPerCall = 1024;
    std::vector<iovec> iov;
    iov.reserve(kRowsPerCall);
    for (int y = img.height() - 1; y >= 0;) {
        iov.clear();
        for (int n = 0; n < kRowsPerCall && y >= 0; ++n, --y)
            iov.push_back({img.scanLine(y), rowBytes});
        size_t first = 0;
        while (first < iov.size()) {
            const ssize_t got = ::preadv(fd, iov.data() + first, int(iov.size() - first), offset);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            offset += got;
            AdvanceIoVectors(iov, first, size_t(got));
        }
    }
    return true;
}

} // namespace

bool ReadPlainBmp(const QString &path, QImage &picture, qint64 maxBytes32)
{
    Fd file{::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    uchar h[54];
    if (::pread(file.fd, h, sizeof h, 0) != ssize_t(sizeof h))
        return false;
    if (h[0] != 'B' || h[1] != 'M')
        return false;
    const quint32 offBits = qFromLittleEndian<quint32>(h + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(h + 14);
    const qint64 width = qFromLittleEndian<qint32>(h + 18);
    const qint64 height = qFromLittleEndian<qint32>(h + 22);
    const quint16 planes = qFromLittleEndian<quint16>(h + 26);
    const quint16 bits = qFromLittleEndian<quint16>(h + 28);
    const quint32 compression = qFromLittleEndian<quint32>(h + 30);
    const qint32 xppm = qFromLittleEndian<qint32>(h + 38);
    const qint32 yppm = qFromLittleEndian<qint32>(h + 42);
    const quint32 coloursUsed = qFromLittleEndian<quint32>(h + 46);
    // Only the exact layout our writer makes; everything else is Qt's.
    if (offBits != 54 || infoSize != 40 || planes != 1 || bits != 24 || compression != 0 || coloursUsed != 0)
        return false;
    if (width <= 0 || height <= 0 || width > 0x7fffffffLL / 4)
        return false;
    const qint64 rowBytes = (width * 24 + 31) / 32 * 4;
    if (qint64(st.st_size) < qint64(offBits) + rowBytes * height)
        return false;
    if (maxBytes32 > 0 && width * 4 * height > maxBytes32)
        return false;
    // Memory that may sit on huge pages: far fewer faults while it fills.
    QImage img;
    try {
        img = NewPicture24(int(width), int(height));
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (img.isNull() || img.bytesPerLine() != rowBytes)
        return false;
    if (!readRows(file.fd, img, off_t(offBits), size_t(rowBytes)))
        return false;
    img.setDotsPerMeterX(xppm);
    img.setDotsPerMeterY(yppm);
    picture = img;
    return true;
}

bool LoadScanPicture(QImage &picture, const QString &path)
{
    // The program's picture limit holds here as for every other picture file;
    // Qt's own default (128 MB) would refuse an A4 page scanned at 600 dpi.
    const qint64 limit32 = PictureByteLimit() / 3 * 4;
    if (ReadPlainBmp(path, picture, limit32))
        return true;
    QFile file(path);
    const bool bmp = file.open(QIODevice::ReadOnly) && file.read(2) == "BM";
    file.close();
    if (!bmp) {
        // Not the scanner library's: any other file goes to the guarded decoder.
        DecodedPicture decoded = DecodeInDecoder(path);
        if (decoded.outcome != PictureDecodeResult::Decoded)
            return false;
        picture = decoded.picture;
        return true;
    }
    // The scanner library's grey and line-art files.
    QImageReader::setAllocationLimit(int(std::min<qint64>(limit32 >> 20, INT_MAX)));
    return picture.load(path);
}

namespace {

// The 54 bytes of a BMP file's header and the file's size; false for anything else.
bool ReadBmpHeader(const QString &path, uchar (&h)[54], qint64 &fileSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    fileSize = file.size();
    return file.read(reinterpret_cast<char *>(h), sizeof h) == qint64(sizeof h) && h[0] == 'B' && h[1] == 'M';
}

} // namespace

bool PictureTooLargeForMemory(const QString &path)
{
    const QSize size = QImageReader(path).size();
    if (size.isEmpty())
        return false;
    const qint64 width = size.width(), height = size.height();
    if (width * height * 4 <= PictureByteLimit() / 3 * 4)
        return false;
    uchar h[54];
    qint64 fileSize = 0;
    if (!ReadBmpHeader(path, h, fileSize))
        return true;
    // A bitmap whose rows are not all in the file is damaged, whatever its size.
    const quint32 offBits = qFromLittleEndian<quint32>(h + 10);
    const qint64 bits = qFromLittleEndian<quint16>(h + 28);
    const quint32 compression = qFromLittleEndian<quint32>(h + 30);
    if (compression != 0 && compression != 3)
        return true;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return bits > 0 && fileSize - qint64(offBits) >= rowBytes * height;
}

int BmpResolution(const QString &path)
{
    uchar h[54];
    qint64 fileSize = 0;
    if (!ReadBmpHeader(path, h, fileSize))
        return 0;
    const qint32 xppm = qFromLittleEndian<qint32>(h + 38);
    return xppm > 0 ? int(xppm * 0.0254 + 0.5) : 0;
}
