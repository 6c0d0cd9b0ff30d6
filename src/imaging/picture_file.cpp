#include "imaging/picture_file.h"

#include "codec/free_bitmap.h"
#include "common/bmp_file.h"
#include "common/filez.h"
#include "common/prompts.h"
#include "imaging/bmp_reader.h"
#include "imaging/jpeg_writer.h"
#include "imaging/picture_caption.h"
#include "imaging/tiff_writer.h"
#include "codec/picture_buffer.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_limits.h"
#include "imaging/unreadable_files.h"

#include <algorithm>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <QPainter>
#include <cstring>

namespace {

bool EndsWithUpper(const QString &path, const char *suffix)
{
    return path.trimmed().toUpper().endsWith(QLatin1String(suffix));
}
}

bool IsGifPath(const QString &path) { return EndsWithUpper(path, ".GIF"); }

bool IsJpegPath(const QString &path)
{
    return EndsWithUpper(path, ".JPG") || EndsWithUpper(path, ".JPE") || EndsWithUpper(path, ".JPEG");
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
    // The plain 24-bit BMP files of the scanner library and of our own saves:
    // our own reader, which reads no more than the file holds, straight into
    // the picture.
    QImage direct;
    if (ReadPlainBmp(path, direct, PictureByteLimit() / 3 * 4)) {
        picture = direct;
        return true;
    }
    // A missing file leaves the picture as it was.
    struct stat st;
    if (::stat(NativePath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return true;
    // Every other file, even the look at its kind, is for the guarded decoder program.
    DecodedPicture decoded = DecodeInDecoder(path);
    switch (decoded.outcome) {
    case PictureDecodeResult::Decoded:
        picture = decoded.picture;
        if (decoded.incomplete)
            ShowNotice(IncompleteFileText());
        break;
    case PictureDecodeResult::NotAPicture:
    case PictureDecodeResult::Cancelled:
        break;
    case PictureDecodeResult::NoDecoder:
    case PictureDecodeResult::NoLibrary:
    case PictureDecodeResult::StartedWrongly:
        // The file may be sound: it is not remembered as unreadable.
        ShowNotice(DecodeFailureText(decoded.outcome, path));
        break;
    default:
        RememberUnreadable(path);
        picture = UnreadablePlaceholder();
        ShowNotice(DecodeFailureText(decoded.outcome, path));
        break;
    }
    return true;
}

bool HasDirectWriter(const QString &path)
{
    return IsJpegPath(path) || EndsWithUpper(path, ".BMP") || EndsWithUpper(path, ".TIF")
        || EndsWithUpper(path, ".TIFF");
}

namespace {

// The caption's markers for the JPEG encoder; false with why when they cannot be made.
bool CaptionMarkers(const PictureCaption &caption, std::vector<JpegMarker> &markers, QString *why)
{
    JpegCaptionMarkers blocks;
    if (!MakeJpegCaption(caption, blocks, why))
        return false;
    const std::pair<int, const QByteArray *> order[] = {{0xE1, &blocks.exif}, {0xE1, &blocks.xmp}, {0xED, &blocks.iptc}};
    for (const auto &[code, block] : order)
        if (!block->isEmpty())
            markers.push_back({code, *block});
    return true;
}

// A TIFF with a caption: the encoder's file, still in the stream, read back and
// written anew with the caption's tags before it is complete.
bool WriteCaptionedTiff(FILE *file, const QImage &picture, unsigned dpmX, unsigned dpmY, const PictureCaption &caption,
                        QString *why)
{
    if (!WriteTiff(file, picture, dpmX, dpmY) || std::fflush(file) != 0 || std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file);
    QByteArray bytes(qsizetype(std::max(0L, size)), Qt::Uninitialized);
    std::rewind(file);
    if (size <= 0 || std::fread(bytes.data(), 1, size_t(size), file) != size_t(size))
        return false;
    if (!AddTiffCaption(bytes, caption, why)) {
        errno = 0;
        return false;
    }
    std::rewind(file);
    return ::ftruncate(fileno(file), 0) == 0
        && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size());
}

} // namespace

bool WriteDirect(ReplacingSave &save, const QImage &picture, const QString &path, int quality, int dpi,
                 const PictureCaption *caption, QString *why)
{
    if (picture.format() != QImage::Format_BGR888 || picture.isNull())
        return false;
    // The resolution the library would store: the one asked for, else the picture's own.
    const unsigned dpmX = dpi > 0 ? DpiToDpm(dpi) : picture.dotsPerMeterX() > 0 ? unsigned(picture.dotsPerMeterX())
                                                                                 : kDefaultDpm;
    const unsigned dpmY = dpi > 0 ? DpiToDpm(dpi) : picture.dotsPerMeterY() > 0 ? unsigned(picture.dotsPerMeterY())
                                                                                 : kDefaultDpm;
    const bool captioned = caption && !caption->isEmpty();
    std::vector<JpegMarker> markers;
    if (captioned && IsJpegPath(path) && !CaptionMarkers(*caption, markers, why))
        return false;
    QString captionWhy;
    const bool written = save.write([&](FILE *file) {
        if (IsJpegPath(path))
            return WriteJpeg(file, picture, JpegSaveFlags(quality), dpmX, dpmY, markers);
        if (EndsWithUpper(path, ".BMP"))
            return std::fflush(file) == 0 && WriteBmpTo(fileno(file), picture, dpmX, dpmY);
        if (captioned)
            return WriteCaptionedTiff(file, picture, dpmX, dpmY, *caption, &captionWhy);
        return WriteTiff(file, picture, dpmX, dpmY);
    });
    if (!written && why)
        *why = captionWhy.isEmpty() ? save.reason() : captionWhy;
    return written;
}

int JpegSaveFlags(int quality)
{
    // The library reads flags 0 as its default quality (75); libjpeg's lowest is 1.
    return std::clamp(quality, 1, 100);
}

int SavePictureFile(const QImage &picture, const QString &path, int quality, int dpi,
                    const PictureCaption *caption, QString *why)
{
    int result = -1;
    QImage source = picture;
    MakeBitmap24(source);
    bool saved = false;
    if (HasDirectWriter(path)) {
        // JPEG, BMP and TIFF straight from the rows, without the library's copy.
        if (source.isNull()) {
            ShowNotice(path + QStringLiteral(" niet gemaakt"));
            return result;
        }
        ReplacingSave save(path);
        QString failed;
        saved = WriteDirect(save, source, path, quality, dpi, caption, &failed) && save.commit();
        if (!saved && why)
            *why = save.reason().isEmpty() ? failed : save.reason();
    } else {
        TFreeWinBitmap bitmap;
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
        saved = bitmap.Save(path, 0, {}, why);   // no caption in these kinds
    }
    // An older file of that name proves nothing: the save itself must have worked.
    if (saved && SafeFileExists(path))
        result = quality;
    return result;
}
