// Decoding a picture file with the image library, the decoder program's own
// work; apart from the savers, so that the decoder carries no encoder.
#include "imaging/picture_decoder.h"

#include "codec/free_bitmap.h"
#include "codec/freeimage_library.h"
#include "common/filez.h"
#include "imaging/jpeg_reader.h"
#include "imaging/picture_file.h"
#include "imaging/picture_limits.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace {

class UnreadableFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The platform's own loader, chosen by extension.
QImage FallbackLoad(const QString &path)
{
    const QString ext = QFileInfo(path.trimmed()).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpe") || ext == QLatin1String("jpeg"))
        return ReadJpegFile(path, PictureByteLimit());
    QByteArray format;
    if (ext == QLatin1String("bmp") || ext == QLatin1String("dib"))
        format = "bmp";
    else if (ext == QLatin1String("ico"))
        format = "ico";
    else if (ext == QLatin1String("gif"))
        format = "gif";
    else
        return QImage();
    QImageReader::setAllocationLimit(int(std::min<qint64>(PictureByteLimit() >> 20, INT_MAX)));
    QImageReader reader(path, format);
    return reader.read();
}

// The library's image painted into a new picture of its size.
QImage DrawnPicture(TFreeWinBitmap &bitmap, int width, int height)
{
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull())
        throw UnreadableFileError("no memory for the picture");
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        bitmap.Draw(painter, QRect(0, 0, width, height));
    }
    QImage picture = canvas.convertToFormat(QImage::Format_BGR888);
    if (picture.isNull())
        throw UnreadableFileError("no memory for the picture");
    return picture;
}

bool DecodableFile(const QString &path, FREE_IMAGE_FORMAT fif)
{
    return fif != FIF_UNKNOWN && FI().FIFSupportsReading(fif) && SafeFileExists(path);
}

// A picture that cannot be had in memory.
class TooLargeError : public UnreadableFileError {
public:
    using UnreadableFileError::UnreadableFileError;
};

// A picture of a fallback decoder moved into memory of newPicture24's.
QImage Placed(const QImage &loaded, const Picture24Allocator &newPicture24)
{
    if (loaded.isNull() || !newPicture24)
        return loaded;
    QImage placed = newPicture24(loaded.width(), loaded.height());
    if (placed.isNull())
        throw TooLargeError("no memory for the picture");
    const size_t rowBytes = size_t(loaded.width()) * 3;
    for (int y = 0; y < loaded.height(); ++y)
        std::memcpy(placed.scanLine(y), loaded.constScanLine(y), rowBytes);
    placed.setDotsPerMeterX(loaded.dotsPerMeterX());
    placed.setDotsPerMeterY(loaded.dotsPerMeterY());
    return placed;
}

qint64 PhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : (qint64(4) << 30);
}

} // namespace

bool MakeBitmap24(QImage &picture)
{
    if (picture.isNull() || picture.format() == QImage::Format_BGR888)
        return true;
    QImage converted;
    if (picture.hasAlphaChannel()) {
        // Transparent parts come out white, as when drawn onto a fresh bitmap.
        QImage canvas(picture.size(), QImage::Format_RGB32);
        if (canvas.isNull())
            return false;
        canvas.fill(Qt::white);
        QPainter(&canvas).drawImage(0, 0, picture);
        converted = canvas.convertToFormat(QImage::Format_BGR888);
    } else {
        converted = picture.convertToFormat(QImage::Format_BGR888);
    }
    if (converted.isNull())
        return false;
    converted.setDotsPerMeterX(picture.dotsPerMeterX());
    converted.setDotsPerMeterY(picture.dotsPerMeterY());
    picture = converted;
    return true;
}

PictureDecodeResult DecodePictureFile(const QString &path, QImage &picture, const Picture24Allocator &newPicture24,
                                      const std::function<void(qint64)> &claimed)
{
    if (!IsImageLibraryLoaded())
        return PictureDecodeResult::Damaged;
    try {
        TFreeWinBitmap bitmap;
        const FREE_IMAGE_FORMAT fif = TFreeBitmap::FileFormat(path);
        if (!DecodableFile(path, fif))
            return PictureDecodeResult::NotAPicture;
        qint64 pixels = 0;
        if (!PictureFileFits(path, fif, &pixels))
            return pixels > 0 ? PictureDecodeResult::TooLarge : PictureDecodeResult::Damaged;
        if (claimed)
            claimed(pixels);
        if (!bitmap.Load(path, 0))
            return PictureDecodeResult::Damaged;
        const int width = bitmap.GetWidth();
        const int height = bitmap.GetHeight();
        // A decoder may make a larger picture than the header said (a DDS file's, for one).
        if (qint64(width) * height * 3 > PictureByteLimit())
            return PictureDecodeResult::TooLarge;
        if (!bitmap.ConvertTo24Bits())
            throw TooLargeError("conversion failed");
        QImage loaded;
        try {
            loaded = bitmap.CopyToBitmapHandle(newPicture24);
        } catch (const std::exception &) {
            loaded = FallbackLoad(path);
            MakeBitmap24(loaded);
            loaded = Placed(loaded, newPicture24);
        }
        if (loaded.width() == 0 || loaded.height() == 0)
            loaded = Placed(DrawnPicture(bitmap, width, height), newPicture24);
        picture = loaded;
    } catch (const TooLargeError &) {
        return PictureDecodeResult::TooLarge;
    } catch (const std::bad_alloc &) {
        return PictureDecodeResult::TooLarge;
    } catch (...) {
        return PictureDecodeResult::Damaged;
    }
    return PictureDecodeResult::Decoded;
}

qint64 DecodeAddressSpace(qint64 pictureBytes)
{
    // The library's image and the handed-over picture, with room for the decoder's own work.
    return std::min(PhysicalMemory() / 3, 2 * pictureBytes + (qint64(512) << 20));
}
