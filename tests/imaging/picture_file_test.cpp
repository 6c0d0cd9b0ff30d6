#include "codec/free_bitmap.h"
#include "common/filez.h"
#include "fakes/scripted_prompts.h"
#include "imaging/jpeg_reader.h"
#include "imaging/picture_file.h"
#include "test_pictures.h"
#include "fakes/file_bytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A smooth picture, so that lossy formats stay close to it.
QImage GradientPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = uchar(x * 255 / width);
            row[x * 3 + 1] = uchar(y * 255 / height);
            row[x * 3 + 2] = 128;
        }
    }
    return picture;
}

int LargestDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width() * 3; ++x)
            worst = std::max(worst, std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])));
    return worst;
}

// A BMP header announcing width x height at 24 bits, followed by `pixelBytes` bytes.
QByteArray BmpHeader(qint32 width, qint32 height, int pixelBytes)
{
    QByteArray b(54 + pixelBytes, '\0');
    auto *p = reinterpret_cast<uchar *>(b.data());
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(b.size()), p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    return b;
}

class PictureFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(IsImageLibraryLoaded()); }
    void TearDown() override { SetPictureByteLimit(0); }
    QString path(const QString &name) const { return dir.path() + '/' + name; }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir dir;
    ScriptedPrompts prompts;
};

TEST(PicturePaths, JpegAndGifAreKnownByTheirEnding)
{
    EXPECT_TRUE(IsJpegPath("scan.jpeg"));
    EXPECT_TRUE(IsJpegPath("SCAN.JPE"));
    EXPECT_TRUE(IsJpegPath(" scan.jpg "));
    EXPECT_FALSE(IsJpegPath("scan.jpgx"));
    EXPECT_TRUE(IsGifPath("a.Gif "));
    EXPECT_FALSE(IsGifPath("a.gif.bmp"));
}

TEST_F(PictureFile, RoundTripsKeepPixelsAndResolution)
{
    const QImage picture = GradientPicture(64, 48);
    // Names whose bytes are not UTF-8 are the system's too.
    for (const char *name : {"a.bmp", "a.tif", "a.jpg", "\xe9.tif", "\xe9.jpg"}) {
        const QString file = path(PathFromNative(name));
        ASSERT_EQ(SavePictureFile(picture, file, 95, 300), 95) << name;
        QImage loaded;
        ASSERT_TRUE(LoadPictureFile(loaded, file)) << name;
        ASSERT_EQ(loaded.size(), picture.size()) << name;
        EXPECT_EQ(loaded.format(), QImage::Format_BGR888);
        EXPECT_NEAR(loaded.dotsPerMeterX(), 11811, 1) << name;
        EXPECT_NEAR(loaded.dotsPerMeterY(), 11811, 1) << name;
        EXPECT_LE(LargestDifference(loaded, picture), QByteArray(name).endsWith("jpg") ? 12 : 0) << name;
        ::unlink(NativePath(file).constData()); // a name Qt's own removal cannot reach
    }
}

TEST_F(PictureFile, GifIsEightBitAndKeepsItsColours)
{
    QImage picture(20, 10, QImage::Format_BGR888);
    picture.fill(QColor(200, 30, 40));
    ASSERT_EQ(SavePictureFile(picture, path("a.gif"), 50, 0), 50);
    TFreeBitmap written;
    ASSERT_TRUE(written.Load(path("a.gif")));
    EXPECT_EQ(written.GetBitsPerPixel(), 8);
    QImage loaded;
    LoadPictureFile(loaded, path("a.gif"));
    ASSERT_EQ(loaded.size(), picture.size());
    EXPECT_EQ(PixelAt(loaded, 5, 5), PixelAt(picture, 5, 5));
}

TEST_F(PictureFile, OnlyJpegReceivesTheQualityAndQualityZeroStillCounts)
{
    const QImage picture = GradientPicture(200, 200);
    ASSERT_EQ(SavePictureFile(picture, path("low.jpg"), 5, 0), 5);
    ASSERT_EQ(SavePictureFile(picture, path("high.jpg"), 100, 0), 100);
    EXPECT_LT(QFileInfo(path("low.jpg")).size(), QFileInfo(path("high.jpg")).size());
    // Quality 0 is the encoder's lowest, not the library's default.
    EXPECT_EQ(SavePictureFile(picture, path("zero.jpg"), 0, 0), 0);
    EXPECT_LT(QFileInfo(path("zero.jpg")).size(), QFileInfo(path("low.jpg")).size());
    ASSERT_EQ(SavePictureFile(picture, path("a.bmp"), 5, 0), 5);
    ASSERT_EQ(SavePictureFile(picture, path("b.bmp"), 100, 0), 100);
    EXPECT_EQ(readAll(path("a.bmp")), readAll(path("b.bmp")));
}

TEST_F(PictureFile, OtherPixelFormatsAreSavedAsTwentyFourBit)
{
    QImage argb(8, 8, QImage::Format_ARGB32);
    argb.fill(qRgb(1, 2, 3));
    QImage grey(8, 8, QImage::Format_Grayscale8);
    grey.fill(90);
    ASSERT_EQ(SavePictureFile(argb, path("argb.bmp"), 80, 0), 80);
    ASSERT_EQ(SavePictureFile(grey, path("grey.tif"), 80, 0), 80);
    EXPECT_EQ(readAll(path("argb.bmp")).at(28), 24);   // bits per pixel in the header
    QImage loaded;
    LoadPictureFile(loaded, path("grey.tif"));
    EXPECT_EQ(PixelAt(loaded, 3, 3), 0x5A5A5Au);
}

TEST_F(PictureFile, SavingReplacesAnOldFileAndKeepsItsPermissions)
{
    writeAll(path("a.bmp"), "old");
    ::chmod(QFile::encodeName(path("a.bmp")).constData(), 0640);
    ASSERT_EQ(SavePictureFile(GradientPicture(10, 10), path("a.bmp"), 90, 0), 90);
    QImage loaded;
    LoadPictureFile(loaded, path("a.bmp"));
    EXPECT_EQ(loaded.size(), QSize(10, 10));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path("a.bmp")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(files(), QStringList{"a.bmp"});
}

TEST_F(PictureFile, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    writeAll(path("a.jpg"), "old picture");
    // JPEG cannot hold more than 65500 pixels in a row: the encoder gives up midway.
    EXPECT_EQ(SavePictureFile(GradientPicture(65501, 1), path("a.jpg"), 90, 0), -1);
    EXPECT_EQ(readAll(path("a.jpg")), QByteArray("old picture"));
    EXPECT_EQ(files(), QStringList{"a.jpg"});
}

TEST_F(PictureFile, AReadOnlyFileIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    writeAll(path("a.bmp"), "old");
    ::chmod(QFile::encodeName(path("a.bmp")).constData(), 0444);
    EXPECT_EQ(SavePictureFile(GradientPicture(4, 4), path("a.bmp"), 90, 0), -1);
    EXPECT_EQ(readAll(path("a.bmp")), QByteArray("old"));
}

TEST_F(PictureFile, AnExtensionTheLibraryCannotWriteIsReportedAndGivesMinusOne)
{
    EXPECT_EQ(SavePictureFile(GradientPicture(4, 4), path("a.xyz"), 90, 0), -1);
    EXPECT_EQ(prompts.texts(), QStringList{"[" + path("a.xyz") + "] niet kunnen  opslaan"});
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(PictureFile, AnEmptyPictureIsNotMade)
{
    EXPECT_EQ(SavePictureFile(QImage(), path("a.bmp"), 90, 0), -1);
    EXPECT_EQ(prompts.texts(), QStringList{path("a.bmp") + " niet gemaakt"});
}

TEST_F(PictureFile, ACorruptFileShowsThePlaceholderAndIsNotReadAgain)
{
    const QString file = path("broken.jpg");
    writeAll(file, QByteArray(5000, 'x'));
    QImage picture = GradientPicture(3, 3);
    EXPECT_TRUE(LoadPictureFile(picture, file));
    EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()));
    EXPECT_EQ(picture.height(), 40);
    EXPECT_TRUE(IsKnownUnreadable(" " + file + " "));
    // Names differing only in case are other files: a good one is read.
    const QString other = path("Broken.jpg");
    ASSERT_EQ(SavePictureFile(GradientPicture(20, 10), other, 90, 0), 90);
    EXPECT_FALSE(IsKnownUnreadable(other));
    EXPECT_TRUE(LoadPictureFile(picture, other));
    EXPECT_EQ(picture.size(), QSize(20, 10));

    // Same size and time but readable content: the second load must not look inside.
    const QDateTime modified = QFileInfo(file).lastModified();
    ASSERT_EQ(SavePictureFile(GradientPicture(50, 50), path("good.jpg"), 90, 0), 90);
    QByteArray good = readAll(path("good.jpg"));
    ASSERT_LT(good.size(), 5000);
    good.append(QByteArray(5000 - good.size(), '\0'));
    writeAll(file, good);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    picture = GradientPicture(3, 3);
    EXPECT_FALSE(LoadPictureFile(picture, file));
    EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()));

    // Rewritten later (as the preview file is by every scan): read again.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(modified.addSecs(5), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_TRUE(LoadPictureFile(picture, file));
    EXPECT_EQ(picture.size(), QSize(50, 50));
}

TEST_F(PictureFile, DotMissingFilesAndNonPicturesLeaveThePicture)
{
    const QImage before = GradientPicture(5, 4);
    QImage picture = before;
    EXPECT_FALSE(LoadPictureFile(picture, "."));
    EXPECT_TRUE(SamePixels(picture, before));
    EXPECT_TRUE(LoadPictureFile(picture, path("missing.bmp")));
    EXPECT_TRUE(SamePixels(picture, before));
    EXPECT_FALSE(IsKnownUnreadable(path("missing.bmp")));
    writeAll(path("notes.txt"), "just text");
    EXPECT_TRUE(LoadPictureFile(picture, path("notes.txt")));
    EXPECT_TRUE(SamePixels(picture, before));
}

TEST_F(PictureFile, AHeaderClaimingMorePixelsThanCanBeHeldIsUnreadable)
{
    // 200000 x 200000 pixels would be 120 GB.
    writeAll(path("huge.bmp"), BmpHeader(200000, 200000, 64));
    // 30000 x 40000 (3.6 GB) with hardly any pixel bytes behind the header.
    writeAll(path("short.bmp"), BmpHeader(30000, 40000, 64));
    for (const char *name : {"huge.bmp", "short.bmp"}) {
        QImage picture = GradientPicture(3, 3);
        EXPECT_TRUE(LoadPictureFile(picture, path(name)));
        EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder())) << name;
    }
}

TEST_F(PictureFile, APictureAboveTheByteLimitIsUnreadable)
{
    ASSERT_EQ(SavePictureFile(GradientPicture(300, 200), path("a.jpg"), 90, 0), 90);
    ASSERT_EQ(SavePictureFile(GradientPicture(300, 200), path("b.jpg"), 90, 0), 90);
    SetPictureByteLimit(300 * 200 * 3 - 1);
    QImage picture;
    LoadPictureFile(picture, path("a.jpg"));
    EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()));
    SetPictureByteLimit(300 * 200 * 3);
    LoadPictureFile(picture, path("b.jpg"));
    EXPECT_EQ(picture.size(), QSize(300, 200));
}

TEST_F(PictureFile, TheFallbackJpegReaderReadsWhatWasSaved)
{
    const QImage picture = GradientPicture(40, 30);
    ASSERT_EQ(SavePictureFile(picture, path("a.jpg"), 100, 600), 100);
    const QImage read = ReadJpegFile(path("a.jpg"), qint64(1) << 30);
    ASSERT_EQ(read.size(), picture.size());
    EXPECT_EQ(read.format(), QImage::Format_BGR888);
    EXPECT_LE(LargestDifference(read, picture), 8);
    EXPECT_NEAR(read.dotsPerMeterX(), 23622, 40);
    EXPECT_TRUE(ReadJpegFile(path("a.jpg"), 100).isNull());
    writeAll(path("bad.jpg"), "\xFF\xD8\xFF garbage");
    EXPECT_TRUE(ReadJpegFile(path("bad.jpg"), qint64(1) << 30).isNull());
}

TEST_F(PictureFile, MakeBitmap24KeepsPixelsAndWhitensTransparency)
{
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(0, 0, 0, 0));
    argb.setPixel(1, 0, qRgba(10, 20, 30, 255));
    argb.setDotsPerMeterX(5000);
    EXPECT_TRUE(MakeBitmap24(argb));
    ASSERT_EQ(argb.format(), QImage::Format_BGR888);
    EXPECT_EQ(PixelAt(argb, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(argb, 1, 0), 0x0A141Eu);
    EXPECT_EQ(argb.dotsPerMeterX(), 5000);
}

TEST(PictureFileWithoutLibrary, LoadingAndSavingReportFailure)
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    const QString file = dir.path() + "/a.bmp";
    ASSERT_TRUE(IsImageLibraryLoaded());
    ASSERT_EQ(SavePictureFile(GradientPicture(4, 4), file, 90, 0), 90);
    const QString real = ImageLibraryFile();
    SetImageLibraryFile("libkvn-no-such-library.so.3");
    QImage picture;
    EXPECT_FALSE(LoadPictureFile(picture, file));
    EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()));
    // JPEG, BMP and TIFF have writers of our own; other kinds need the library.
    EXPECT_EQ(SavePictureFile(GradientPicture(4, 4), dir.path() + "/b.gif", 90, 0), -1);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/b.gif"));
    SetImageLibraryFile(real);
    EXPECT_TRUE(IsImageLibraryLoaded());
}
}

TEST_F(PictureFile, PlainBmpFilesLoadAsTheImageLibraryDecodesThem)
{
    // Files of the kind the direct reader takes: our own saves at odd widths,
    // with and without a resolution, and one with a zero resolution field.
    for (int width : {1, 5, 8, 333})
        for (int dpi : {0, 300}) {
            QImage picture = GradientPicture(width, 37);
            const QString file = path(QString("p%1_%2.bmp").arg(width).arg(dpi));
            ASSERT_GE(SavePictureFile(picture, file, 0, dpi), 0);
            TFreeWinBitmap bitmap;
            ASSERT_TRUE(bitmap.Load(file, 0));
            ASSERT_TRUE(bitmap.ConvertTo24Bits());
            const QImage library = bitmap.CopyToBitmapHandle();
            QImage loaded;
            ASSERT_TRUE(LoadPictureFile(loaded, file));
            EXPECT_EQ(loaded.format(), QImage::Format_BGR888);
            EXPECT_EQ(loaded, library) << width << " " << dpi;
            EXPECT_EQ(loaded.dotsPerMeterX(), library.dotsPerMeterX());
            EXPECT_EQ(loaded.dotsPerMeterY(), library.dotsPerMeterY());
        }
    QByteArray zeroDpi = BmpHeader(3, 2, 2 * 12);
    for (int i = 54; i < zeroDpi.size(); ++i)
        zeroDpi[i] = char(i * 13);
    writeAll(path("zero.bmp"), zeroDpi);
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.Load(path("zero.bmp"), 0));
    const QImage library = bitmap.CopyToBitmapHandle();
    QImage loaded;
    ASSERT_TRUE(LoadPictureFile(loaded, path("zero.bmp")));
    EXPECT_EQ(loaded, library);
    EXPECT_EQ(loaded.dotsPerMeterX(), library.dotsPerMeterX());
}
