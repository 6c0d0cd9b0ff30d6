#include "imaging/picture_file.h"

#include "codec/free_bitmap.h"
#include "dialogs/messages.h"
#include "imaging/bmp_reader.h"
#include "imaging/jpeg_reader.h"
#include "codec/picture_buffer.h"
#include "imaging/picture_limits.h"
#include "imaging/unreadable_files.h"

#include <algorithm>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <stdexcept>

namespace {

class UnreadableFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool EndsWithUpper(const QString &path, const char *suffix)
{
    return path.trimmed().toUpper().endsWith(QLatin1String(suffix));
}

// The platform's own loader, chosen by extension.
QImage FallbackLoad(const QString &path)
{
    if (IsJpegPath(path))
        return ReadJpegFile(path, PictureByteLimit());
    const QString ext = QFileInfo(path.trimmed()).suffix().toLower();
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
    return fif != FIF_UNKNOWN && FI().FIFSupportsReading(fif) && QFileInfo(path).isFile();
}
}

bool IsGifPath(const QString &path) { return EndsWithUpper(path, ".GIF"); }

bool IsJpegPath(const QString &path)
{
    return EndsWithUpper(path, ".JPG") || EndsWithUpper(path, ".JPE") || EndsWithUpper(path, ".JPEG");
}

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

bool LoadPictureFile(QImage &picture, const QString &rawPath)
{
    const QString path = rawPath.trimmed();
    if (IsKnownUnreadable(path)) {
        picture = UnreadablePlaceholder();
        return false;
    }
    if (path == QLatin1String("."))
        return false;
    if (!IsImageLibraryLoaded()) {
        picture = UnreadablePlaceholder();
        return false;
    }
    try {
        TFreeWinBitmap bitmap;
        const FREE_IMAGE_FORMAT fif = TFreeBitmap::FileFormat(path);
        const bool decodable = DecodableFile(path, fif);
        if (decodable && !PictureFileFits(path, fif))
            throw UnreadableFileError("picture too large or incomplete");
        // The plain 24-bit BMP files of the scanner library and of our own
        // saves give the same picture read directly, without two copies.
        if (decodable && fif == FIF_BMP) {
            QImage direct;
            if (ReadPlainBmp(path, direct)) {
                picture = direct;
                return true;
            }
        }
        if (!bitmap.Load(path, 0)) {
            // A picture file the library gave up on is unreadable; anything
            // else (missing, not a picture) leaves the picture as it was.
            if (decodable)
                throw UnreadableFileError("decoding failed");
            return true;
        }
        const int width = bitmap.GetWidth();
        const int height = bitmap.GetHeight();
        if (!bitmap.ConvertTo24Bits())
            throw UnreadableFileError("conversion failed");
        QImage loaded;
        try {
            loaded = bitmap.CopyToBitmapHandle();
        } catch (const std::exception &) {
            loaded = FallbackLoad(path);
            MakeBitmap24(loaded);
        }
        if (loaded.width() == 0 || loaded.height() == 0)
            loaded = DrawnPicture(bitmap, width, height);
        picture = loaded;
    } catch (...) {
        RememberUnreadable(path);
        picture = UnreadablePlaceholder();
    }
    return true;
}

int JpegSaveFlags(int quality)
{
    // The library reads flags 0 as its default quality (75); libjpeg's lowest is 1.
    return std::clamp(quality, 1, 100);
}

int SavePictureFile(const QImage &picture, const QString &path, int quality, int dpi)
{
    int result = -1;
    TFreeWinBitmap bitmap;
    QImage source = picture;
    MakeBitmap24(source);
    bitmap.CopyFromBitmap(source);
    source = QImage();
    if (!bitmap.IsValid()) {
        ShowNotice(path + QStringLiteral(" niet gemaakt"));
        return result;
    }
    if (dpi > 0) {
        bitmap.SetHorizontalResolution(dpi);
        bitmap.SetVerticalResolution(dpi);
    }
    if (IsGifPath(path))
        bitmap.ConvertTo8Bits();
    else
        bitmap.ConvertTo24Bits();
    const bool saved = bitmap.Save(path, IsJpegPath(path) ? JpegSaveFlags(quality) : 0);
    // An older file of that name proves nothing: the save itself must have worked.
    if (saved && QFileInfo::exists(path))
        result = quality;
    return result;
}
