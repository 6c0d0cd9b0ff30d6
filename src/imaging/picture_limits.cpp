#include "imaging/picture_limits.h"
#include "imaging/picture_file.h"

#include "codec/freeimage_library.h"
#include "common/filez.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <unistd.h>

namespace {
qint64 g_limit = 0;
qint64 g_windowLimit = 0;
qint64 g_veryLarge = 0;

qint64 PhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : (qint64(4) << 30);
}

qint64 DefaultLimit()
{
    // The library's image and the picture are both held while handing over.
    return std::max<qint64>(PhysicalMemory() / 3, qint64(256) << 20);
}

bool FitsLimit(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return false;
    if (width * 3 > 0x7ffffffcLL || height > 0x7fffffffLL)   // rows are addressed by int
        return false;
    return width * height * 3 <= PictureByteLimit();
}

// An uncompressed BMP must hold every row it announces.
bool BmpComplete(const QString &path)
{
    QFile file;
    if (!OpenForReading(file, path))
        return false;
    const QByteArray h = file.read(54);
    if (h.size() < 30 || h[0] != 'B' || h[1] != 'M')
        return true;   // not for us to judge; the library decides
    const auto *b = reinterpret_cast<const uchar *>(h.constData());
    const quint32 offBits = qFromLittleEndian<quint32>(b + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(b + 14);
    if (infoSize < 40 || h.size() < 34)
        return true;
    const qint64 width = qFromLittleEndian<qint32>(b + 18);
    const qint64 height = qAbs(qint64(qFromLittleEndian<qint32>(b + 22)));
    const qint64 bitCount = qFromLittleEndian<quint16>(b + 28);
    const quint32 compression = qFromLittleEndian<quint32>(b + 30);
    if (compression != 0 && compression != 3)
        return true;
    if (width <= 0 || height <= 0 || bitCount <= 0 || bitCount > 64)
        return false;
    const qint64 rowBytes = (width * bitCount + 31) / 32 * 4;
    const qint64 pixelBytes = file.size() - qint64(offBits);
    return pixelBytes >= 0 && pixelBytes / rowBytes >= height;
}

// An icon must hold the whole first image its directory announces; the
// library reads a cut-off image header without noticing.
bool IcoComplete(const QString &path)
{
    QFile file;
    if (!OpenForReading(file, path))
        return false;
    const QByteArray h = file.read(22);
    const auto *b = reinterpret_cast<const uchar *>(h.constData());
    if (h.size() < 6 || qFromLittleEndian<quint16>(b) != 0)
        return true;   // not an icon: the library decides
    if (h.size() < 22 || qFromLittleEndian<quint16>(b + 4) == 0)
        return false;
    const qint64 bytes = qFromLittleEndian<quint32>(b + 6 + 8);
    const qint64 offset = qFromLittleEndian<quint32>(b + 6 + 12);
    return bytes >= 40 && offset >= 22 && offset + bytes <= file.size();
}

// The size a GIF claims: its logical screen and its first image, either of
// which the library may allocate. Zero or unknown counts as nothing.
void GifSize(QFile &file, qint64 &width, qint64 &height)
{
    const QByteArray h = file.read(13);
    if (h.size() < 13 || !h.startsWith("GIF"))
        return;
    const auto *b = reinterpret_cast<const uchar *>(h.constData());
    width = qFromLittleEndian<quint16>(b + 6);
    height = qFromLittleEndian<quint16>(b + 8);
    if (b[10] & 0x80)
        file.skip(3 * (2 << (b[10] & 7)));
    char kind = 0;
    while (file.getChar(&kind) && kind == 0x21) {
        char label = 0;
        file.getChar(&label);
        char length = 0;
        while (file.getChar(&length) && length != 0)
            file.skip(uchar(length));
    }
    uchar d[9];
    if (kind != 0x2C || file.read(reinterpret_cast<char *>(d), 9) != 9)
        return;
    width = std::max<qint64>(width, qFromLittleEndian<quint16>(d + 4));
    height = std::max<qint64>(height, qFromLittleEndian<quint16>(d + 6));
}

// The size the header of a format without a header-only load claims, or 0 x 0
// when it cannot tell; the library then decides.
void ClaimedSize(const QString &path, FREE_IMAGE_FORMAT fif, qint64 &width, qint64 &height)
{
    width = height = 0;
    QFile file;
    if (!OpenForReading(file, path))
        return;
    if (fif == FIF_GIF)
        return GifSize(file, width, height);
    const QByteArray h = file.read(20);
    const auto *b = reinterpret_cast<const uchar *>(h.constData());
    if (fif == FIF_SGI && h.size() >= 12) {
        width = qFromBigEndian<quint16>(b + 6);
        height = qFromBigEndian<quint16>(b + 8);
    } else if (fif == FIF_DDS && h.size() >= 20 && h.startsWith("DDS ")) {
        height = qFromLittleEndian<quint32>(b + 12);
        width = qFromLittleEndian<quint32>(b + 16);
    }
}
}

qint64 PictureByteLimit() { return g_limit > 0 ? g_limit : DefaultLimit(); }

void SetPictureByteLimit(qint64 bytes) { g_limit = bytes > 0 ? bytes : 0; }

qint64 WindowPictureByteLimit()
{
    // The picture shown, the clean scan or a turn's new picture, and the rows
    // a save encodes: three copies within a third of the memory.
    const qint64 own = g_windowLimit > 0 ? g_windowLimit : std::max<qint64>(PhysicalMemory() / 9, qint64(64) << 20);
    return std::min(own, PictureByteLimit());
}

void SetWindowPictureByteLimit(qint64 bytes) { g_windowLimit = bytes > 0 ? bytes : 0; }

qint64 VeryLargePicturePixels() { return g_veryLarge > 0 ? g_veryLarge : qint64(100000000); }

void SetVeryLargePicturePixels(qint64 pixels) { g_veryLarge = pixels > 0 ? pixels : 0; }

ScopedPictureByteLimit::ScopedPictureByteLimit(qint64 bytes) : m_earlier(g_limit) { SetPictureByteLimit(bytes); }

ScopedPictureByteLimit::~ScopedPictureByteLimit() { g_limit = m_earlier; }

bool PictureFileFits(const QString &path, FREE_IMAGE_FORMAT fif, qint64 *pixels)
{
    qint64 ignored = 0;
    qint64 &claimed = pixels ? *pixels : ignored;
    claimed = 0;
    if (fif == FIF_BMP && !BmpComplete(path))
        return false;
    if (fif == FIF_ICO && !IcoComplete(path))
        return false;
    const FreeImageFunctions &fi = FI();
    if (!fi.FIFSupportsNoPixels || !fi.FIFSupportsNoPixels(fif)) {
        qint64 width = 0, height = 0;
        ClaimedSize(path, fif, width, height);
        claimed = width > 0 && height > 0 ? width * height : 0;
        return width <= 0 || height <= 0 || FitsLimit(width, height);
    }
    FIBITMAP *header = fi.Load(fif, NativePath(path).constData(), FIF_LOAD_NOPIXELS);
    if (!header)
        return false;
    const qint64 width = fi.GetWidth(header);
    const qint64 height = fi.GetHeight(header);
    fi.Unload(header);
    claimed = width * height;
    return FitsLimit(width, height);
}
