// JPEG, BMP and TIFF files written from our own rows against what the image
// library writes for the same picture, and series saved on several cores.
#include "codec/free_bitmap.h"
#include "fakes/file_bytes.h"
#include "fakes/scripted_prompts.h"
#include "imaging/picture_file.h"
#include "imaging/save_queue.h"
#include "test_pictures.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The file the library writes, as saving did before our own writers.
bool LibrarySave(const QImage &picture, const QString &path, int flags, int dpi)
{
    TFreeWinBitmap bitmap;
    if (!bitmap.CopyFromBitmap(picture))
        return false;
    if (dpi > 0) {
        bitmap.SetHorizontalResolution(dpi);
        bitmap.SetVerticalResolution(dpi);
    }
    return bitmap.Save(path, flags);
}

QImage LibraryLoad(const QString &path)
{
    TFreeWinBitmap bitmap;
    return bitmap.Load(path) && bitmap.ConvertTo24Bits() ? bitmap.CopyToBitmapHandle() : QImage();
}

// Smooth areas with noise, wide enough for several TIFF strips.
QImage ScanLike(int width, int height)
{
    QImage picture = NumberedPicture(width, height);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            row[x] = uchar((x / 3 + y) / 4 + row[x] % 8);
    }
    return picture;
}

// Rows whose differences from the pixel before (what the TIFF predictor hands
// the encoder) are runs of zeros, of noise, of small noise and of a repeated
// pattern, from a few bytes to tens of thousands: the encoder's table fills,
// its ratio climbs and slips, in every order.
void PaintRuns(QImage &picture, int fromRow, int toRow, uint32_t seed)
{
    const auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    const int rowBytes = picture.width() * 3;
    int kind = 0, left = 0;
    for (int y = fromRow; y < toRow; ++y) {
        uchar *row = picture.scanLine(y);
        uchar before[3] = {0, 0, 0};
        for (int x = 0; x < rowBytes; ++x, --left) {
            if (left <= 0) {
                kind = int(random() % 4);
                left = 1 + int(random() % (y % 3 == 0 ? 60000 : 3000));
            }
            const uchar d = kind == 0 ? 0 : kind == 1 ? uchar(random()) : kind == 2 ? uchar(random() % 3) : uchar(x % 7);
            // Stored blue first: the predictor takes red, green, blue.
            const int channel = 2 - x % 3;
            before[channel] = uchar(before[channel] + d);
            row[x - x % 3 + channel] = before[channel];
        }
    }
}

} // namespace

TEST(DirectWriters, FilesEqualTheLibrarysPixelForPixelWithTheSameResolution)
{
    ASSERT_TRUE(IsImageLibraryLoaded());
    QTemporaryDir dir;
    QImage odd = ScanLike(2001, 700);   // odd width: padded BMP rows; several TIFF strips
    odd.setDotsPerMeterX(3780);
    odd.setDotsPerMeterY(5000);
    QImage plain = NumberedPicture(7, 5);
    plain.setDotsPerMeterX(0);   // no resolution of its own: the library's default
    plain.setDotsPerMeterY(0);
    const struct Case {
        const char *name;
        const QImage &picture;
        int quality, dpi;
        bool sameBytes;
    } cases[] = {
        {"a.jpg", odd, 90, 600, true},  {"b.JPEG", plain, 0, 0, true}, {"c.jpg", odd, 100, 0, true},
        {"a.bmp", odd, 90, 600, true},  {"b.bmp", plain, 90, 0, true}, {"c.bmp", odd, 90, 0, true},
        {"a.tif", odd, 90, 300, false}, {"b.tiff", plain, 90, 0, false},
    };
    for (const Case &c : cases) {
        const QString ours = dir.filePath(QStringLiteral("ours-") + c.name);
        const QString library = dir.filePath(QStringLiteral("library-") + c.name);
        ASSERT_TRUE(HasDirectWriter(ours));
        ASSERT_EQ(SavePictureFile(c.picture, ours, c.quality, c.dpi), c.quality) << c.name;
        ASSERT_TRUE(LibrarySave(c.picture, library, IsJpegPath(ours) ? JpegSaveFlags(c.quality) : 0, c.dpi));
        if (c.sameBytes) {
            EXPECT_EQ(readAll(ours), readAll(library)) << c.name;
        }
        const QImage a = LibraryLoad(ours), b = LibraryLoad(library);
        ASSERT_FALSE(a.isNull()) << c.name;
        EXPECT_TRUE(SamePixels(a, b)) << c.name;
        EXPECT_EQ(a.dotsPerMeterX(), b.dotsPerMeterX()) << c.name;
        EXPECT_EQ(a.dotsPerMeterY(), b.dotsPerMeterY()) << c.name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2 * int(std::size(cases)));
}

TEST(DirectWriters, TiffFilesOpenInImageMagickAndLibvips)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("scan.tif");
    ASSERT_EQ(SavePictureFile(ScanLike(1500, 900), file, 90, 300), 90);
    const struct Tool {
        const char *program;
        QStringList arguments;
        const char *expected;
    } tools[] = {{"identify", {"-format", "%w %h %x", file}, "1500 900 300"},
                 {"vipsheader", {"-f", "width", file}, "1500"}};
    int ran = 0;
    for (const Tool &t : tools) {
        if (QStandardPaths::findExecutable(t.program).isEmpty())
            continue;
        QProcess p;
        p.start(t.program, t.arguments);
        ASSERT_TRUE(p.waitForFinished(60000)) << t.program;
        EXPECT_EQ(p.exitCode(), 0) << t.program << p.readAllStandardError().constData();
        EXPECT_TRUE(p.readAllStandardOutput().startsWith(t.expected)) << t.program;
        ++ran;
    }
    if (ran == 0)
        GTEST_SKIP() << "neither ImageMagick nor libvips is installed";
}

TEST(DirectWriters, TiffStripsAreTheBytesLibtiffEncodes)
{
    // Smooth rows, noise that fills the code table, flat runs where the ratio
    // climbs and then slips, and runs of every kind mixed: every kind of fresh
    // start of the encoder, at every distance from the one before.
    constexpr int kHeight = 1500;
    QImage picture = ScanLike(1200, kHeight);
    const QImage noise = NumberedPicture(1200, 120, 9);
    for (int y = 0; y < 120; ++y)
        std::memcpy(picture.scanLine(200 + y), noise.constScanLine(y), 3600);
    for (int y = 400; y < 460; ++y)
        std::memset(picture.scanLine(y), 0x80, 3600);
    PaintRuns(picture, 100, 200, 7);
    PaintRuns(picture, 320, 400, 8);
    PaintRuns(picture, 500, kHeight, 11);
    QTemporaryDir dir;
    const QString ours = dir.filePath("ours.tif");
    ASSERT_EQ(SavePictureFile(picture, ours, 90, 300), 90);
    TIFF *read = TIFFOpen(QFile::encodeName(ours).constData(), "r");
    ASSERT_TRUE(read);
    uint32_t rowsPerStrip = 0;
    TIFFGetField(read, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const QString library = dir.filePath("libtiff.tif");
    TIFF *write = TIFFOpen(QFile::encodeName(library).constData(), "w");
    ASSERT_TRUE(write);
    TIFFSetField(write, TIFFTAG_IMAGEWIDTH, 1200u);
    TIFFSetField(write, TIFFTAG_IMAGELENGTH, uint32_t(kHeight));
    TIFFSetField(write, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(write, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(write, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(write, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(write, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(write, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const uint32_t strips = (kHeight + rowsPerStrip - 1) / rowsPerStrip;
    ASSERT_GT(strips, 1u);
    for (uint32_t k = 0; k < strips; ++k) {
        const uint32_t rows = std::min(rowsPerStrip, kHeight - k * rowsPerStrip);
        std::vector<uchar> strip(size_t(rows) * 3600);
        for (uint32_t i = 0; i < rows; ++i)
            std::memcpy(strip.data() + i * 3600, rgb.constScanLine(int(k * rowsPerStrip + i)), 3600);
        ASSERT_GE(TIFFWriteEncodedStrip(write, k, strip.data(), tmsize_t(strip.size())), 0);
    }
    TIFFClose(write);
    TIFF *reference = TIFFOpen(QFile::encodeName(library).constData(), "r");
    ASSERT_TRUE(reference);
    ASSERT_EQ(TIFFNumberOfStrips(read), strips);
    for (uint32_t k = 0; k < strips; ++k) {
        std::vector<uchar> a(4 << 20), b(4 << 20);
        const tmsize_t na = TIFFReadRawStrip(read, k, a.data(), tmsize_t(a.size()));
        const tmsize_t nb = TIFFReadRawStrip(reference, k, b.data(), tmsize_t(b.size()));
        ASSERT_EQ(na, nb) << "strip " << k;
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + na, b.begin())) << "strip " << k;
    }
    TIFFClose(read);
    TIFFClose(reference);
}

TEST(SaveQueue, TwoCoresGiveTheFilesOfOneInOrderAndReportFailures)
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::vector<QImage> cards;
    for (int i = 0; i < 7; ++i)
        cards.push_back(ScanLike(300 + 37 * i, 200 + 11 * i));
    const QStringList kinds = {".jpg", ".bmp", ".tif"};
    const auto saveAll = [&](int threads, const QString &folder) {
        QDir().mkpath(folder);
        std::vector<int> results;
        PictureSaveQueue queue(threads);
        for (size_t i = 0; i < cards.size(); ++i) {
            // The fifth card goes to a folder that is not there; a GIF goes through the library.
            const QString name = i == 4 ? "missing/kaart5.jpg"
                               : i == 5 ? "kaart6.gif"
                                        : QString("kaart%1%2").arg(i + 1).arg(kinds[int(i) % 3]);
            queue.save(cards[i], folder + '/' + name, 80, 300, [&results](int r) { results.push_back(r); });
        }
        queue.finish();
        return results;
    };
    const std::vector<int> expected = {80, 80, 80, 80, -1, 80, 80};
    EXPECT_EQ(saveAll(1, dir.filePath("one")), expected);
    EXPECT_EQ(saveAll(2, dir.filePath("two")), expected);
    const QStringList names = QDir(dir.filePath("one")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(names.size(), 6);   // nothing left of the failed card
    EXPECT_EQ(names, QDir(dir.filePath("two")).entryList(QDir::Files | QDir::Hidden));
    for (const QString &name : names)
        EXPECT_EQ(readAll(dir.filePath("one/" + name)), readAll(dir.filePath("two/" + name))) << name.toStdString();
}
