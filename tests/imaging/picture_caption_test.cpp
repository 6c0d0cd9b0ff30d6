// The accompanying text inside saved pictures, read back through exiv2 and by
// the tools people use on their archives.
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "test_pictures.h"
#include "fakes/file_bytes.h"

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
