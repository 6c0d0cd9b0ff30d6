// BMP files: header fields, palettes, row order and padding, and that a file
// appears only when all of it was written.
#include "fakes/file_bytes.h"
#include "scanner/bridge/bmp_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

namespace {

uint32_t u32(const QByteArray &b, int at)
{
    uint32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.constData() + at, 4);
    return v;
}
uint16_t u16(const QByteArray &b, int at)
{
    uint16_t v = 0;
    if (at + 2 <= b.size())
        std::memcpy(&v, b.constData() + at, 2);
    return v;
}

QImage pattern(QImage::Format fmt, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y) & 255, (y * 53) & 255, ((x + y) * 11) & 255));
    if (fmt == QImage::Format_Mono)
        return img.convertToFormat(fmt, Qt::ThresholdDither);
    return img.convertToFormat(fmt);
}

} // namespace

TEST(BmpWriter, EachPixelFormatRoundTripsWithItsHeaderAndResolution)
{
    QTemporaryDir dir;
    struct Case {
        QImage::Format fmt;
        int bits;
        uint32_t colours;
    } cases[] = {{QImage::Format_BGR888, 24, 0}, {QImage::Format_Grayscale8, 8, 256}, {QImage::Format_Mono, 1, 2}};
    for (const Case &c : cases) {
        const QImage img = pattern(c.fmt, 7, 5);  // odd width: rows need padding
        const QString path = dir.filePath(QString("p%1.bmp").arg(c.bits));
        ASSERT_EQ(WriteBmp(img, 300, path), QString());
        const QByteArray b = readAll(path);
        EXPECT_EQ(b.left(2), QByteArray("BM"));
        EXPECT_EQ(u32(b, 2), uint32_t(b.size()));
        EXPECT_EQ(u16(b, 28), c.bits);
        EXPECT_EQ(u32(b, 46), c.colours);
        EXPECT_EQ(u32(b, 38), 11811u);  // 300 dpi in pixels per metre
        EXPECT_EQ(int32_t(u32(b, 22)), 5);  // bottom-up
        const QImage back(path);
        ASSERT_FALSE(back.isNull());
        const QImage a = img.convertToFormat(QImage::Format_RGB32), r = back.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(r.size(), a.size());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(r.pixel(x, y), a.pixel(x, y)) << c.bits << " at " << x << "," << y;
    }
}

TEST(BmpWriter, GreyPaletteIsTheIdentityAndLineArtPaletteFollowsTheImage)
{
    QTemporaryDir dir;
    QImage grey(1, 1, QImage::Format_Grayscale8);
    grey.fill(0);
    ASSERT_EQ(WriteBmp(grey, 0, dir.filePath("g.bmp")), QString());
    const QByteArray gb = readAll(dir.filePath("g.bmp"));
    ASSERT_GT(gb.size(), 54 + 4 * 201);
    EXPECT_EQ(uint8_t(gb[54 + 4 * 200]), 200);
    EXPECT_EQ(uint8_t(gb[54 + 4 * 200 + 2]), 200);

    QImage mono(9, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    mono.setPixel(0, 0, 1);
    ASSERT_EQ(WriteBmp(mono, 0, dir.filePath("m.bmp")), QString());
    const QImage back(dir.filePath("m.bmp"));
    EXPECT_EQ(back.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(back.pixel(1, 0) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(BmpWriter, FailedWriteLeavesNoFileAndReportsIt)
{
    QTemporaryDir dir;
    const QImage img = pattern(QImage::Format_BGR888, 4, 4);
    const QString error = WriteBmp(img, 300, dir.filePath("missing/folder/scan.bmp"));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/folder/scan.bmp")));
    EXPECT_FALSE(WriteBmp(QImage(), 300, dir.filePath("empty.bmp")).isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.bmp")));
}

TEST(BmpWriter, ReplacesAnOlderFileAndLeavesNothingElseBehind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("preview.bmp");
    writeAll(path, "old contents");
    ASSERT_EQ(WriteBmp(pattern(QImage::Format_BGR888, 3, 3), 150, path), QString());
    EXPECT_EQ(QImage(path).size(), QSize(3, 3));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"preview.bmp"});
}

TEST(BmpWriter, RowPaddingIsZeroWhateverThePictureHoldsThere)
{
    QTemporaryDir dir;
    for (QImage::Format fmt : {QImage::Format_BGR888, QImage::Format_Grayscale8, QImage::Format_Mono}) {
        QImage img = pattern(fmt, 7, 1100);  // more rows than one write call takes
        // Fill the bytes past each row's pixels with something that must not show.
        const int used = fmt == QImage::Format_BGR888 ? 21 : fmt == QImage::Format_Grayscale8 ? 7 : 1;
        for (int y = 0; y < img.height(); ++y)
            std::memset(img.scanLine(y) + used, 0xAB, size_t(img.bytesPerLine() - used));
        const QString path = dir.filePath("pad.bmp");
        ASSERT_EQ(WriteBmp(img, 0, path), QString());
        const QByteArray b = readAll(path);
        const int row = (used + 3) & ~3;
        const int start = int(u32(b, 10));
        ASSERT_EQ(b.size(), start + row * img.height());
        for (int y = 0; y < img.height(); ++y) {
            const char *r = b.constData() + start + (img.height() - 1 - y) * row;
            ASSERT_EQ(std::memcmp(r, img.constScanLine(y), size_t(used)), 0) << y;
            for (int i = used; i < row; ++i)
                ASSERT_EQ(r[i], 0) << y;
        }
    }
}

TEST(BmpWriter, AReplacedFileKeepsItsPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("preview.bmp");
    ASSERT_EQ(WriteBmp(pattern(QImage::Format_BGR888, 3, 3), 150, path), QString());
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_EQ(WriteBmp(pattern(QImage::Format_BGR888, 4, 4), 150, path), QString());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::WriteOther | QFile::ExeOther | QFile::ExeOwner;
    EXPECT_EQ(QFile::permissions(path) & (others | QFile::ReadOwner | QFile::WriteOwner),
              QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QImage(path).size(), QSize(4, 4));
}
