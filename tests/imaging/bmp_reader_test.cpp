// The direct BMP reader must give what Qt's reader gives on the files it
// takes, and leave every other file to Qt's reader.
#include "imaging/bmp_reader.h"
#include "imaging/picture_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstring>

namespace {

void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}
void put16(QByteArray &b, int at, quint16 v)
{
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}

// A 24-bit BMP as the scanner library writes it, rows bottom-up, padded.
QByteArray Bmp24(int w, int h, int ppm, quint32 seed)
{
    const int row = (w * 3 + 3) & ~3;
    QByteArray b(54 + row * h, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, quint32(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, quint32(w));
    put32(b, 22, quint32(h));
    put16(b, 26, 1);
    put16(b, 28, 24);
    put32(b, 34, quint32(row * h));
    put32(b, 38, quint32(ppm));
    put32(b, 42, quint32(ppm));
    quint32 s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) {
            s = s * 1103515245u + 12345u;
            b[54 + y * row + x] = char(s >> 16);
        }
    return b;
}

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

void ExpectSameAsQt(const QImage &ours, const QString &path)
{
    const QImage qt(path);
    ASSERT_FALSE(qt.isNull());
    ASSERT_EQ(ours.size(), qt.size());
    EXPECT_EQ(ours.dotsPerMeterX(), qt.dotsPerMeterX());
    EXPECT_EQ(ours.dotsPerMeterY(), qt.dotsPerMeterY());
    const QImage a = ours.convertToFormat(QImage::Format_RGB32), b = qt.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
        ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4), 0) << "row " << y;
}

} // namespace

TEST(PlainBmp, EveryRowPaddingAndResolutionAsQtReadsThem)
{
    QTemporaryDir dir;
    for (int w : {1, 2, 3, 4, 5, 7, 13})
        for (int h : {1, 2, 9, 1100})  // more rows than one read call takes
            for (int ppm : {0, 11811}) {
                const QString path = Write(dir, "s.bmp", Bmp24(w, h, ppm, quint32(w * 31 + h)));
                QImage ours;
                ASSERT_TRUE(ReadPlainBmp(path, ours)) << w << "x" << h;
                EXPECT_EQ(ours.format(), QImage::Format_BGR888);
                ExpectSameAsQt(ours, path);
            }
}

TEST(PlainBmp, OtherFilesAreLeftToQtsReader)
{
    QTemporaryDir dir;
    const QByteArray good = Bmp24(6, 5, 3780, 7);
    QByteArray topDown = good;
    put32(topDown, 22, quint32(-5));
    QByteArray rle = good;
    put32(rle, 30, 1);
    QByteArray palette = good;
    put32(palette, 46, 2);
    QByteArray v5 = good;
    put32(v5, 14, 124);
    const QByteArray shortFile = good.left(good.size() - 1);
    QImage grey(5, 4, QImage::Format_Grayscale8);
    grey.fill(90);
    const QString greyPath = dir.filePath("grey.bmp");
    ASSERT_TRUE(grey.save(greyPath, "BMP"));

    const QString paths[] = {Write(dir, "td.bmp", topDown), Write(dir, "rle.bmp", rle), Write(dir, "pal.bmp", palette),
                             Write(dir, "v5.bmp", v5),      Write(dir, "short.bmp", shortFile), greyPath,
                             Write(dir, "png.bmp", QByteArray("\x89PNG\r\n", 6)), dir.filePath("missing.bmp")};
    for (const QString &path : paths) {
        QImage ours(1, 1, QImage::Format_RGB32);
        ours.fill(Qt::red);
        EXPECT_FALSE(ReadPlainBmp(path, ours)) << path.toStdString();
        EXPECT_EQ(ours.size(), QSize(1, 1));  // untouched
        QImage loaded, qt;
        EXPECT_EQ(LoadScanPicture(loaded, path), qt.load(path)) << path.toStdString();
        EXPECT_EQ(loaded.size(), qt.size()) << path.toStdString();
        EXPECT_EQ(loaded.format(), qt.format()) << path.toStdString();
    }
}

TEST(PlainBmp, QtsOwnTwentyFourBitFilesAreTakenToo)
{
    QTemporaryDir dir;
    QImage rgb(7, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            rgb.setPixel(x, y, qRgb(x * 30, y * 80, x * y * 9));
    const QString path = dir.filePath("qt.bmp");
    ASSERT_TRUE(rgb.save(path, "BMP"));
    QImage ours;
    ASSERT_TRUE(ReadPlainBmp(path, ours));
    ExpectSameAsQt(ours, path);
}

TEST(PlainBmp, ScanGoesByTheProgramsPictureLimitNotQts)
{
    QTemporaryDir dir;
    const QString path = Write(dir, "big.bmp", Bmp24(600, 600, 0, 3));  // 1.08 MB, 1.44 MB as 32-bit pixels
    const int before = QImageReader::allocationLimit();
    QImage ours;
    EXPECT_FALSE(ReadPlainBmp(path, ours, qint64(1) << 20));
    EXPECT_TRUE(ReadPlainBmp(path, ours, qint64(2) << 20));
    // Qt's limit far below the scan (as its 128 MB default is below an A4 page
    // at 600 dpi): the program's own limit decides.
    QImageReader::setAllocationLimit(1);
    SetPictureByteLimit(qint64(1) << 20);
    ours = QImage();
    EXPECT_FALSE(LoadScanPicture(ours, path));
    SetPictureByteLimit(qint64(2) << 20);
    EXPECT_TRUE(LoadScanPicture(ours, path));
    EXPECT_EQ(ours.size(), QSize(600, 600));
    EXPECT_EQ(ours.format(), QImage::Format_BGR888);
    SetPictureByteLimit(0);
    QImageReader::setAllocationLimit(before);
}
