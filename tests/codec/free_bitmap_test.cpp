#include "codec/free_bitmap.h"
#include "codec/picture_buffer.h"
#include "fakes/file_bytes.h"
#include "fakes/scripted_prompts.h"
#include "fakes/file_bytes.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace {

QImage Stripes(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uchar *p = picture.scanLine(y) + x * 3;
            p[0] = uchar(x * 10);
            p[1] = uchar(y * 20);
            p[2] = uchar(x + y);
        }
    return picture;
}

bool SameBytes(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    const size_t row = size_t(a.width()) * size_t(a.depth() / 8);
    for (int y = 0; y < a.height(); ++y)
        if (memcmp(a.constScanLine(y), b.constScanLine(y), row) != 0)
            return false;
    return true;
}

class FreeBitmap : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(IsImageLibraryLoaded()); }
};

TEST_F(FreeBitmap, APictureGoesInAndComesOutUnchangedWithItsResolution)
{
    QImage picture = Stripes(7, 5);
    picture.setDotsPerMeterX(11811);
    picture.setDotsPerMeterY(23622);
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(picture));
    EXPECT_EQ(bitmap.GetWidth(), 7);
    EXPECT_EQ(bitmap.GetHeight(), 5);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 24);
    EXPECT_NEAR(bitmap.GetHorizontalResolution(), 300.0, 0.01);
    EXPECT_NEAR(bitmap.GetVerticalResolution(), 600.0, 0.01);
    // The library keeps rows bottom-up: its first row is our last.
    EXPECT_EQ(FI().GetScanLine(bitmap.Dib(), 0)[0], picture.constScanLine(4)[0]);
    EXPECT_EQ(FI().GetScanLine(bitmap.Dib(), 0)[1], picture.constScanLine(4)[1]);
    const QImage back = bitmap.CopyToBitmapHandle();
    EXPECT_EQ(back.format(), QImage::Format_BGR888);
    EXPECT_TRUE(SameBytes(back, picture));
    EXPECT_EQ(back.dotsPerMeterX(), 11811);
    EXPECT_EQ(back.dotsPerMeterY(), 23622);
}

TEST_F(FreeBitmap, ThirtyTwoAndEightBitPicturesKeepTheirKind)
{
    QImage argb(3, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(1, 2, 3, 200));
    TFreeWinBitmap a;
    ASSERT_TRUE(a.CopyFromBitmap(argb));
    EXPECT_EQ(a.GetBitsPerPixel(), 32);
    EXPECT_TRUE(SameBytes(a.CopyToBitmapHandle(), argb));

    QImage indexed(5, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)});
    indexed.fill(2);
    indexed.setPixel(0, 0, 1);
    TFreeWinBitmap i;
    ASSERT_TRUE(i.CopyFromBitmap(indexed));
    EXPECT_EQ(i.GetBitsPerPixel(), 8);
    const QImage out = i.CopyToBitmapHandle();
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(4, 2), qRgb(0, 0, 255));
}

TEST_F(FreeBitmap, ResolutionIsStoredInDotsPerMetreRounded)
{
    TFreeBitmap bitmap(FIT_BITMAP, 2, 2, 24);
    int changes = 0;
    bitmap.OnChange = [&](TFreeBitmap &) { ++changes; };
    bitmap.SetHorizontalResolution(300);
    bitmap.SetVerticalResolution(72);
    EXPECT_EQ(FI().GetDotsPerMeterX(bitmap.Dib()), 11811u);
    EXPECT_EQ(FI().GetDotsPerMeterY(bitmap.Dib()), 2835u);
    EXPECT_EQ(changes, 2);
    TFreeBitmap none;
    none.SetHorizontalResolution(300);   // nothing happens without an image
    EXPECT_FALSE(none.IsValid());
}

TEST_F(FreeBitmap, CreateNeedsAPositiveSizeAndDepth)
{
    TFreeBitmap bitmap;
    EXPECT_FALSE(bitmap.Create(FIT_BITMAP, 0, 5, 24));
    EXPECT_FALSE(bitmap.Create(FIT_BITMAP, 5, 5, 0));
    EXPECT_TRUE(bitmap.Create(FIT_BITMAP, 5, 5, 24));
    EXPECT_TRUE(bitmap.IsValid());
    TFreeObject plain;
    EXPECT_FALSE(plain.IsValid());
}

TEST_F(FreeBitmap, AVetoedReplacementKeepsTheOldImage)
{
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(Stripes(4, 4)));
    FIBITMAP *before = bitmap.Dib();
    bitmap.OnChanging = [](TFreeBitmap &, FIBITMAP *) { return false; };
    EXPECT_FALSE(bitmap.ConvertTo8Bits());
    EXPECT_EQ(bitmap.Dib(), before);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 24);
}

TEST_F(FreeBitmap, EightBitConversionKeepsColoursAndAssignCopies)
{
    QImage picture(6, 6, QImage::Format_BGR888);
    picture.fill(QColor(220, 20, 20));
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(picture));
    TFreeWinBitmap copy;
    copy.Assign(&bitmap);
    ASSERT_TRUE(bitmap.ConvertTo8Bits());
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
    EXPECT_EQ(bitmap.CopyToBitmapHandle().pixel(2, 2), qRgb(220, 20, 20));
    EXPECT_EQ(copy.GetBitsPerPixel(), 24);   // independent of the original
    copy.Assign(nullptr);
    EXPECT_FALSE(copy.IsValid());
}

TEST_F(FreeBitmap, SaveAndLoadByFormat)
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(Stripes(9, 4)));
    ASSERT_TRUE(bitmap.Save(dir.path() + "/a.tif"));
    TFreeWinBitmap loaded;
    ASSERT_TRUE(loaded.Load(dir.path() + "/a.tif"));
    EXPECT_TRUE(SameBytes(loaded.CopyToBitmapHandle(), Stripes(9, 4)));
    EXPECT_FALSE(loaded.Load(dir.path() + "/missing.qqq"));
    EXPECT_TRUE(loaded.IsValid());   // an undetermined format keeps the image

    EXPECT_FALSE(bitmap.Save(dir.path() + "/a.qqq"));
    EXPECT_EQ(prompts.texts(), QStringList{"[" + dir.path() + "/a.qqq] niet kunnen  opslaan"});
    TFreeBitmap empty;
    EXPECT_FALSE(empty.CanSave(FIF_BMP));
}

TEST_F(FreeBitmap, SaveOverALinkReplacesTheFileItNamesAndAFailureSaysWhy)
{
    QTemporaryDir dir;
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(Stripes(9, 4)));
    writeAll(dir.path() + "/echt.png", "oud");
    ASSERT_TRUE(QFile::link(dir.path() + "/echt.png", dir.path() + "/link.png"));
    ASSERT_TRUE(bitmap.Save(dir.path() + "/link.png"));
    EXPECT_TRUE(QFileInfo(dir.path() + "/link.png").isSymLink());
    EXPECT_TRUE(readAll(dir.path() + "/echt.png").startsWith("\x89PNG"));

    QString why;
    EXPECT_FALSE(bitmap.Save(dir.path() + "/geen/a.png", 0, {}, &why));
    EXPECT_EQ(why, "aanmaken mislukt: Bestand of map bestaat niet");
}

TEST_F(FreeBitmap, DrawPaintsTheImageStretched)
{
    QImage red(2, 2, QImage::Format_BGR888);
    red.fill(QColor(255, 0, 0));
    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.CopyFromBitmap(red));
    QImage canvas(8, 8, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        bitmap.Draw(painter, QRect(0, 0, 4, 4));
    }
    EXPECT_EQ(canvas.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255));
}
}

TEST_F(FreeBitmap, BmpRowPaddingIsZeroWhateverTheMemoryHeldBefore)
{
    QTemporaryDir dir;
    // Odd width, and large enough for the pixel memory that is handed on between pictures.
    const QImage picture = Stripes(1001, 2900);
    QByteArray first;
    for (int round = 0; round < 2; ++round) {
        // Leave earlier bytes behind in memory that the next picture may get.
        const size_t bytes = size_t(3004) * 2900;
        void *junk = AllocateLarge(bytes);
        ASSERT_NE(junk, nullptr);
        std::memset(junk, 0xC3, bytes);
        FreeLarge(junk);
        TFreeWinBitmap bitmap;
        ASSERT_TRUE(bitmap.CopyFromBitmap(picture));
        const QString path = dir.path() + QString("/p%1.bmp").arg(round);
        ASSERT_TRUE(bitmap.Save(path));
        const QByteArray b = readAll(path);
        ASSERT_EQ(b.size(), 54 + 3004 * 2900);
        for (int y = 0; y < 2900; ++y)
            ASSERT_EQ(b[54 + y * 3004 + 3003], 0) << "row " << y;
        if (round == 0)
            first = b;
        else
            EXPECT_EQ(b, first);
    }
}
