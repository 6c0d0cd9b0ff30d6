#include "imaging/picture_caption.h"

#include "common/filez.h"

#include <QFile>
#include <exiv2/exiv2.hpp>
#include <cstring>
#include <mutex>
#include <stdexcept>

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

const char kPrintSource[] = "http://cv.iptc.org/newscodes/digitalsourcetype/print";

// An XMP bag of texts (dc:subject, PersonInImage) in place of what the key held.
void SetBag(Exiv2::XmpData &xmp, const char *key, const QStringList &items)
{
    const auto old = xmp.findKey(Exiv2::XmpKey(key));
    if (old != xmp.end())
        xmp.erase(old);
    if (items.isEmpty())
        return;
    auto bag = Exiv2::Value::create(Exiv2::xmpBag);
    for (const QString &item : items)
        bag->read(Utf8(CleanCaption(item)));
    xmp.add(Exiv2::XmpKey(key), bag.get());
}

// The record of the card: XMP as the family history guidelines ask, mirrored in IPTC.
void WriteRecord(Exiv2::Image &image, const PictureCaption &caption)
{
    Exiv2::XmpData &xmp = image.xmpData();
    Exiv2::IptcData &iptc = image.iptcData();
    if (!caption.title.isEmpty()) {
        xmp["Xmp.dc.title"] = "lang=x-default " + Utf8(CleanCaption(caption.title));
        // IPTC's object name holds 64 bytes, cut between characters.
        QByteArray name = CleanCaption(caption.title).toUtf8().left(64);
        while (!name.isEmpty() && (uchar(name.back()) & 0xC0) == 0x80)
            name.chop(1);
        if (!name.isEmpty() && (uchar(name.back()) & 0xC0) == 0xC0)
            name.chop(1);
        iptc["Iptc.Application2.ObjectName"] = name.toStdString();
    }
    SetBag(xmp, "Xmp.iptcExt.PersonInImage", caption.person.isEmpty() ? QStringList() : QStringList{caption.person});
    SetBag(xmp, "Xmp.dc.subject", caption.subjects);
    for (const QString &subject : caption.subjects) {
        Exiv2::Iptcdatum keyword(Exiv2::IptcKey("Iptc.Application2.Keywords"));
        keyword.setValue(CleanCaption(subject).toUtf8().left(64).toStdString());
        iptc.add(keyword);
    }
    xmp["Xmp.iptcExt.DigitalSourceType"] = kPrintSource;
    iptc["Iptc.Envelope.CharacterSet"] = "\x1b%G"; // UTF-8
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

namespace {

// Puts caption into an image's metadata as both kinds carry it; a JPEG's text
// is cut to fit its segment.
void FillCaption(Exiv2::Image &image, const PictureCaption &caption, bool jpeg)
{
    Exiv2::ExifData &exif = image.exifData();
    Exiv2::XmpData &xmp = image.xmpData();
    const QString clean = CleanCaption(caption.text);
    std::string text = Utf8(clean);
    if (jpeg) {
        const std::string fitted = FitJpegSegment(text);
        if (fitted.size() < text.size())
            LogText(QStringLiteral("Bijschrift ingekort tot de eerste %1 van %2 tekens: meer past niet in een "
                                   "JPEG-bestand (het TIFF-formaat houdt de hele tekst).")
                        .arg(QString::fromStdString(fitted).size())
                        .arg(clean.size()));
        text = fitted;
    }
    if (!text.empty()) {
        exif["Exif.Image.ImageDescription"] = text;
        xmp["Xmp.dc.description"] = "lang=x-default " + text;
    }
    if (caption.hasRecord())
        WriteRecord(image, caption);
    if (caption.scanned.isValid())
        exif["Exif.Photo.DateTimeDigitized"] = Utf8(caption.scanned.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")));
    if (caption.dpi > 0) {
        exif["Exif.Image.XResolution"] = Exiv2::Rational(caption.dpi, 1);
        exif["Exif.Image.YResolution"] = Exiv2::Rational(caption.dpi, 1);
        exif["Exif.Image.ResolutionUnit"] = uint16_t(2);   // inches
    }
}

// The most a JPEG marker segment carries.
constexpr size_t kJpegSegmentBytes = 65533;

QByteArray Bytes(const void *data, size_t size) { return QByteArray(static_cast<const char *>(data), qsizetype(size)); }

} // namespace

bool MakeJpegCaption(const PictureCaption &caption, JpegCaptionMarkers &markers, QString *why)
{
    markers = JpegCaptionMarkers();
    if (caption.isEmpty())
        return true;
    InitialiseOnce();
    try {
        // An empty JPEG of exiv2's own holds the metadata while it is filled in.
        auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::jpeg);
        FillCaption(*image, caption, true);
        // The blocks as exiv2 writes them into a JPEG file, little-endian Exif included.
        if (!image->exifData().empty()) {
            Exiv2::Blob blob;
            Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, image->exifData());
            markers.exif = QByteArray("Exif\0\0", 6) + Bytes(blob.data(), blob.size());
        }
        if (!image->xmpData().empty()) {
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, image->xmpData(),
                                         Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting) != 0)
                throw std::runtime_error("xmp");
            markers.xmp = QByteArray("http://ns.adobe.com/xap/1.0/", 29) + QByteArray::fromStdString(packet);
        }
        if (!image->iptcData().empty()) {
            const Exiv2::DataBuf irb = Exiv2::Photoshop::setIptcIrb(nullptr, 0, image->iptcData());
            markers.iptc = QByteArray(Exiv2::Photoshop::ps3Id_, 14) + Bytes(irb.pData_, size_t(irb.size_));
        }
    } catch (const std::exception &) {
        if (why)
            *why = QStringLiteral("bijschrift mislukt");
        return false;
    }
    for (const QByteArray *block : {&markers.exif, &markers.xmp, &markers.iptc})
        if (size_t(block->size()) > kJpegSegmentBytes) {
            if (why)
                *why = QStringLiteral("bijschrift mislukt: te groot voor een JPEG-bestand");
            return false;
        }
    return true;
}

bool AddTiffCaption(QByteArray &tiff, const PictureCaption &caption, QString *why)
{
    if (caption.isEmpty())
        return true;
    InitialiseOnce();
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(tiff.constData()), long(tiff.size()));
        if (!image.get() || image->imageType() != Exiv2::ImageType::tiff)
            throw std::runtime_error("tiff");
        image->readMetadata();
        FillCaption(*image, caption, false);
        image->writeMetadata();
        Exiv2::BasicIo &io = image->io();
        const long size = long(io.size());
        io.seek(0, Exiv2::BasicIo::beg);
        const Exiv2::DataBuf bytes = io.read(size);
        if (bytes.size_ != size)
            throw std::runtime_error("tiff");
        tiff = Bytes(bytes.pData_, size_t(bytes.size_));
        return true;
    } catch (const std::exception &) {
        if (why)
            *why = QStringLiteral("bijschrift mislukt");
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
        const auto title = xmp.findKey(Exiv2::XmpKey("Xmp.dc.title"));
        if (title != xmp.end()) {
            const auto *alt = dynamic_cast<const Exiv2::LangAltValue *>(&title->value());
            caption.title = QString::fromStdString(alt ? alt->toString("x-default") : title->toString());
        }
        const auto person = xmp.findKey(Exiv2::XmpKey("Xmp.iptcExt.PersonInImage"));
        if (person != xmp.end())
            caption.person = QString::fromStdString(person->toString(0));
        const auto subjects = xmp.findKey(Exiv2::XmpKey("Xmp.dc.subject"));
        for (long i = 0; subjects != xmp.end() && i < long(subjects->count()); ++i)
            caption.subjects << QString::fromStdString(subjects->toString(i));
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
