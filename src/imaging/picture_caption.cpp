#include "imaging/picture_caption.h"

#include <QFile>
#include <exiv2/exiv2.hpp>
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

} // namespace

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
        const std::string text = Utf8(caption.text);
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
