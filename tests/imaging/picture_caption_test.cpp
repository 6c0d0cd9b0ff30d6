// The accompanying text inside saved pictures, read back through exiv2 and by
// the tools people use on their archives.
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "test_pictures.h"
#include "fakes/file_bytes.h"
#include "common/log_capture.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

namespace {

std::string ExifValue(const QString &path, const char *key)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const auto it = image->exifData().findKey(Exiv2::ExifKey(key));
    return it == image->exifData().end() ? std::string() : it->toString();
}

} // namespace

TEST(PictureCaption, TextDateAndResolutionInsideJpegAndTiffOnlyWhenThereIsText)
{
    QTemporaryDir dir;
    const QImage picture = NumberedPicture(64, 48);
    const QString text = QStringLiteral("Bidprentje van Anna Müller, ’s-Hertogenbosch 1931\r\nAchterkant: gebed");
    const PictureCaption caption{text, QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)), 600};
    const PictureCaption none{QString(), caption.scanned, 600};

    for (const QString type : {".JPG", ".TIF"}) {
        const QString with = dir.filePath("met" + type), without = dir.filePath("zonder" + type),
                      plain = dir.filePath("kaal" + type);
        ASSERT_EQ(SavePictureFile(picture, with, 90, 600, &caption), 90) << type.toStdString();
        ASSERT_EQ(SavePictureFile(picture, without, 90, 600, &none), 90);
        ASSERT_EQ(SavePictureFile(picture, plain, 90, 600), 90);

        const PictureCaption back = ReadPictureCaption(with);
        EXPECT_EQ(back.text, text);
        EXPECT_EQ(back.scanned, caption.scanned);
        EXPECT_EQ(back.dpi, 600);
        EXPECT_EQ(QString::fromStdString(ExifValue(with, "Exif.Image.ImageDescription")), text);
        // No text: the file is byte for byte what the encoder made.
        EXPECT_EQ(readAll(without), readAll(plain));
        // With it, byte for byte what exiv2 makes of the plain file given the same caption:
        // written while encoding, the file is what writing it in afterwards gave.
        const QString rewritten = dir.filePath("exiv2" + type);
        QFile::copy(plain, rewritten);
        {
            auto from = Exiv2::ImageFactory::open(QFile::encodeName(with).toStdString());
            auto to = Exiv2::ImageFactory::open(QFile::encodeName(rewritten).toStdString());
            from->readMetadata();
            to->readMetadata();
            to->setExifData(from->exifData());
            to->setXmpData(from->xmpData());
            to->setIptcData(from->iptcData());
            to->writeMetadata();
        }
        EXPECT_EQ(readAll(with), readAll(rewritten)) << type.toStdString();
        EXPECT_TRUE(ReadPictureCaption(plain).text.isEmpty());
        // The pixels are the same with the caption as without.
        QImage a, b;
        ASSERT_TRUE(LoadPictureFile(a, with));
        ASSERT_TRUE(LoadPictureFile(b, plain));
        EXPECT_TRUE(SamePixels(a, b)) << type.toStdString();

        const QString exiftool = QStandardPaths::findExecutable("exiftool");
        if (!exiftool.isEmpty()) {
            QProcess p;
            p.start(exiftool, {"-s3", "-charset", "exif=utf8", "-XMP-dc:Description", "-EXIF:CreateDate", with});
            ASSERT_TRUE(p.waitForFinished(30000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            EXPECT_TRUE(out.startsWith(QStringLiteral("Bidprentje van Anna Müller"))) << out.toStdString();
            EXPECT_TRUE(out.contains("2026:03:04 10:20:30")) << out.toStdString();
        }
    }
    // Kinds without room for it are written as ever.
    const QString bmp = dir.filePath("kaart.BMP"), bmpPlain = dir.filePath("kaal.BMP");
    ASSERT_EQ(SavePictureFile(picture, bmp, 90, 600, &caption), 90);
    ASSERT_EQ(SavePictureFile(picture, bmpPlain, 90, 600), 90);
    EXPECT_EQ(readAll(bmp), readAll(bmpPlain));
}

// Every caption is cleaned the same way for both kinds and read back as
// written, with its date and resolution; one too long for a JPEG segment is
// cut there, and the log says so.
TEST(PictureCaption, CleanedCaptionsReadBackAsWrittenInJpegAndTiff)
{
    QString longText;
    while (longText.size() < 100000)
        longText += QStringLiteral("Bid voor de ziel van Anna Müller & <Jan> \"’s-Hertogenbosch\"\r\n");
    const struct {
        QString text, cleaned;
    } cases[] = {
        {"Anna\tMüller\r\n1931", "Anna\tMüller\r\n1931"},
        {longText, longText},
        {QString::fromUtf8("An\0na", 5), "Anna"},
        {QStringLiteral("A\x01\x1b[0m\x7f\u0085B"), "A[0mB"},
        {QString("x") + QChar(0xD800) + "y" + QChar(0xDC00), QString("x\uFFFDy\uFFFD")},
        {QStringLiteral("Oma 🕊️ ✝"), QStringLiteral("Oma 🕊️ ✝")},
    };
    QTemporaryDir dir;
    const QImage picture = NumberedPicture(64, 48);
    for (const auto &c : cases) {
        EXPECT_EQ(CleanCaption(c.text), c.cleaned);
        for (const QString type : {".JPG", ".TIF"}) {
            const QString path = dir.filePath("kaart" + type);
            QFile::remove(path);
            const PictureCaption caption{c.text, QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)), 300};
            LogCapture log;
            ASSERT_EQ(SavePictureFile(picture, path, 90, 300, &caption), 90);
            const PictureCaption back = ReadPictureCaption(path);
            const bool cut = type == ".JPG" && c.text.size() > 60000;
            EXPECT_EQ(log.lines().size(), cut ? 1 : 0) << type.toStdString();
            if (cut)
                EXPECT_TRUE(c.cleaned.startsWith(back.text) && back.text.size() > 30000) << back.text.size();
            else
                EXPECT_EQ(back.text, c.cleaned) << type.toStdString() << " " << c.text.left(20).toStdString();
            EXPECT_EQ(QString::fromStdString(ExifValue(path, "Exif.Image.ImageDescription")), back.text);
            EXPECT_EQ(back.scanned, caption.scanned) << type.toStdString();
            EXPECT_EQ(back.dpi, 300) << type.toStdString();
        }
    }
}

// A card's record goes in as genealogy programs look for it, and the pixels stay.
TEST(PictureCaption, RecordOfACardInXmpAndIptc)
{
    QTemporaryDir dir;
    const QImage picture = NumberedPicture(64, 48);
    PictureCaption record{"Bid voor de ziel van\nJan van ’t Hof", QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)), 300};
    record.title = QStringLiteral("Bidprentje van Jan van ’t Hof (1899–1960)");
    record.person = QStringLiteral("Jan van ’t Hof");
    record.subjects = QStringList{"bidprentje", "Hof"};
    for (const QString type : {".JPG", ".TIF"}) {
        const QString with = dir.filePath("met" + type), plain = dir.filePath("kaal" + type);
        ASSERT_EQ(SavePictureFile(picture, with, 90, 300, &record), 90);
        ASSERT_EQ(SavePictureFile(picture, plain, 90, 300), 90);
        const PictureCaption back = ReadPictureCaption(with);
        EXPECT_EQ(back.text, record.text);
        EXPECT_EQ(back.title, record.title);
        EXPECT_EQ(back.person, record.person);
        EXPECT_EQ(back.subjects, record.subjects);
        QImage a, b;
        ASSERT_TRUE(LoadPictureFile(a, with));
        ASSERT_TRUE(LoadPictureFile(b, plain));
        EXPECT_TRUE(SamePixels(a, b)) << type.toStdString();

        const QString exiftool = QStandardPaths::findExecutable("exiftool");
        if (exiftool.isEmpty())
            continue;
        QProcess p;
        p.start(exiftool, {"-s", "-charset", "iptc=utf8", "-XMP-dc:Title", "-XMP-iptcExt:PersonInImage", "-XMP-dc:Subject",
                           "-XMP-iptcExt:DigitalSourceType", "-IPTC:ObjectName", "-IPTC:Keywords", with});
        ASSERT_TRUE(p.waitForFinished(30000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        for (const char *line : {"Title                           : Bidprentje van Jan van ’t Hof (1899–1960)",
                                 "PersonInImage                   : Jan van ’t Hof",
                                 "Subject                         : bidprentje, Hof",
                                 "DigitalSourceType               : http://cv.iptc.org/newscodes/digitalsourcetype/print",
                                 "ObjectName                      : Bidprentje van Jan van ’t Hof (1899–1960)",
                                 "Keywords                        : bidprentje, Hof"})
            EXPECT_TRUE(out.contains(QString::fromUtf8(line))) << line << "\n" << out.toStdString();
    }
}
