#include "imaging/picture_caption.h"

#include "common/filez.h"

#include <QFile>
#include <exiv2/exiv2.hpp>
#include <cstring>
#include <mutex>

namespace {

// Exiv2's XMP toolkit must be set up once before threads use it.
void InitialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

bool CarriesCaption(const Exiv2::Image &image)
{
    const auto type = image.imageType();
    return type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::tiff;
}

std::string Utf8(const QString &text) { return text.toUtf8().toStdString(); }

// A JPEG segment holds 65533 bytes: the Exif block and the XMP packet each
// keep the text under this, with room for what else they carry.
constexpr int kJpegTextBytes = 60000;

// The longest beginning of text (clean UTF-8) that fits a JPEG segment both
// as it is and escaped for XML, cut between characters.
std::string FitJpegSegment(const std::string &text)
{
    size_t end = 0;
    int xml = 0;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        xml += std::strchr("&<>\"'\r\t", c) && c ? 6 : 1;
        if (int(end) + 1 > kJpegTextBytes || xml > kJpegTextBytes)
            break;
    }
    if (end == text.size())
        return text;
    while (end > 0 && (uchar(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

QString CleanCaption(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            clean += c;
            clean += text[++i];
        } else if (c.isSurrogate()) {
            clean += QChar(QChar::ReplacementCharacter);
        } else if (c == '\n' || c == '\r' || c == '\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7F
                                                              && (c.unicode() < 0x80 || c.unicode() > 0x9F))) {
            clean += c;
        }
    }
    return clean;
}

bool WritePictureCaption(const QString &path, const PictureCaption &caption)
{
    if (caption.isEmpty())
        return true;
    InitialiseOnce();
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get() || !CarriesCaption(*image))
            return true;
        image->readMetadata();
        Exiv2::ExifData &exif = image->exifData();
        Exiv2::XmpData &xmp = image->xmpData();
        const QString clean = CleanCaption(caption.text);
        std::string text = Utf8(clean);
        if (image->imageType() == Exiv2::ImageType::jpeg) {
            const std::string fitted = FitJpegSegment(text);
            if (fitted.size() < text.size())
                LogText(QStringLiteral("Bijschrift ingekort tot de eerste %1 van %2 tekens: meer past niet in een "
                                       "JPEG-bestand (het TIFF-formaat houdt de hele tekst).")
                            .arg(QString::fromStdString(fitted).size())
                            .arg(clean.size()));
            text = fitted;
        }
        exif["Exif.Image.ImageDescription"] = text;
        xmp["Xmp.dc.description"] = "lang=x-default " + text;
        if (caption.scanned.isValid())
            exif["Exif.Photo.DateTimeDigitized"] =
                Utf8(caption.scanned.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")));
        if (caption.dpi > 0) {
            exif["Exif.Image.XResolution"] = Exiv2::Rational(caption.dpi, 1);
            exif["Exif.Image.YResolution"] = Exiv2::Rational(caption.dpi, 1);
            exif["Exif.Image.ResolutionUnit"] = uint16_t(2);   // inches
        }
        image->writeMetadata();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

PictureCaption ReadPictureCaption(const QString &path)
{
    PictureCaption caption;
    InitialiseOnce();
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get())
            return caption;
        image->readMetadata();
        const Exiv2::XmpData &xmp = image->xmpData();
        const auto description = xmp.findKey(Exiv2::XmpKey("Xmp.dc.description"));
        if (description != xmp.end()) {
            // A language alternative: the default language's text.
            const auto *alt = dynamic_cast<const Exiv2::LangAltValue *>(&description->value());
            caption.text = QString::fromStdString(alt ? alt->toString("x-default") : description->toString());
        }
        const Exiv2::ExifData &exif = image->exifData();
        const auto date = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeDigitized"));
        if (date != exif.end())
            caption.scanned = QDateTime::fromString(QString::fromStdString(date->toString()),
                                                    QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        const auto x = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
        if (x != exif.end())
            caption.dpi = int(x->toFloat() + 0.5f);
    } catch (const std::exception &) {
    }
    return caption;
}
