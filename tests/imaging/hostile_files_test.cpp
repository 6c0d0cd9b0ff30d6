// Damaged and lying picture files of every common kind: the load ends with the
// placeholder (or, for a damaged tail a decoder can live with, a picture of the
// size the file states) and never with a crash or an abort.
#include "fakes/scripted_prompts.h"
#include "imaging/picture_file.h"
#include "test_pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

const qint32 kHuge = 100000;

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

uchar *At(QByteArray &b, qsizetype offset) { return reinterpret_cast<uchar *>(b.data()) + offset; }

// Header patches: each sets the stated width and height as large as its format allows.
void PatchBmp(QByteArray &b)
{
    qToLittleEndian<qint32>(kHuge, At(b, 18));
    qToLittleEndian<qint32>(kHuge, At(b, 22));
}

void PatchJpeg(QByteArray &b)
{
    // The frame header: FF C0..C2, length, precision, height, width (16 bits each).
    for (qsizetype i = 2; i + 9 < b.size(); ++i) {
        const uchar m = uchar(b[i + 1]);
        if (uchar(b[i]) == 0xFF && m >= 0xC0 && m <= 0xC2) {
            qToBigEndian<quint16>(0xFFFF, At(b, i + 5));
            qToBigEndian<quint16>(0xFFFF, At(b, i + 7));
            return;
        }
    }
    FAIL() << "no frame header";
}

void PatchPng(QByteArray &b)
{
    // IHDR's width and height, with its checksum made right again.
    qToBigEndian<quint32>(kHuge, At(b, 16));
    qToBigEndian<quint32>(kHuge, At(b, 20));
    const quint32 crc = quint32(crc32(0, At(b, 12), 17));
    qToBigEndian<quint32>(crc, At(b, 29));
}

void PatchGif(QByteArray &b)
{
    qToLittleEndian<quint16>(0xFFFF, At(b, 6));
    qToLittleEndian<quint16>(0xFFFF, At(b, 8));
    // Past the global colour table and any extension blocks to the image descriptor.
    const uchar flags = uchar(b[10]);
    qsizetype image = 13 + ((flags & 0x80) ? 3 * (2 << (flags & 7)) : 0);
    while (image + 2 < b.size() && uchar(b[image]) == 0x21) {
        image += 2;
        while (image < b.size() && b[image] != 0)
            image += 1 + uchar(b[image]);
        ++image;
    }
    ASSERT_TRUE(image + 9 < b.size() && b[image] == 0x2C);
    qToLittleEndian<quint16>(0xFFFF, At(b, image + 5));
    qToLittleEndian<quint16>(0xFFFF, At(b, image + 7));
}

void PatchTiff(QByteArray &b)
{
    const bool little = b.startsWith("II");
    auto u16 = [&](qsizetype o) { return little ? qFromLittleEndian<quint16>(At(b, o)) : qFromBigEndian<quint16>(At(b, o)); };
    auto u32 = [&](qsizetype o) { return little ? qFromLittleEndian<quint32>(At(b, o)) : qFromBigEndian<quint32>(At(b, o)); };
    auto put16 = [&](qsizetype o, quint16 v) { little ? qToLittleEndian(v, At(b, o)) : qToBigEndian(v, At(b, o)); };
    auto put32 = [&](qsizetype o, quint32 v) { little ? qToLittleEndian(v, At(b, o)) : qToBigEndian(v, At(b, o)); };
    const qsizetype ifd = u32(4);
    const int entries = u16(ifd);
    int patched = 0;
    for (int i = 0; i < entries; ++i) {
        const qsizetype e = ifd + 2 + 12 * i;
        const quint16 tag = u16(e);
        if (tag == 256 || tag == 257) {   // ImageWidth, ImageLength
            put16(e + 2, 4);               // as LONG, which holds the large value
            put32(e + 4, 1);
            put32(e + 8, quint32(kHuge));
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
}

void PatchIco(QByteArray &b)
{
    // The bitmap header inside the icon (its height counts the mask too).
    const quint32 offset = qFromLittleEndian<quint32>(At(b, 6 + 12));
    ASSERT_EQ(qFromLittleEndian<quint32>(At(b, offset)), 40u);
    qToLittleEndian<qint32>(kHuge, At(b, offset + 4));
    qToLittleEndian<qint32>(2 * kHuge, At(b, offset + 8));
}

struct Kind {
    const char *extension;
    std::function<void(QByteArray &)> patchSize;
};

const Kind kKinds[] = {
    {"bmp", PatchBmp}, {"jpg", PatchJpeg}, {"png", PatchPng},
    {"gif", PatchGif}, {"tif", PatchTiff}, {"ico", PatchIco},
};

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Low enough that no decoder would be allowed the memory the patched headers claim.
        SetPictureByteLimit(qint64(256) << 20);
    }
    void TearDown() override { SetPictureByteLimit(0); }

    // A small, genuine file of the kind, written by our saver or else by Qt.
    QByteArray Genuine(const char *extension)
    {
        const QString file = dir.path() + "/genuine." + extension;
        const QImage picture = NumberedPicture(24, 16);
        if (SavePictureFile(picture, file, 90, 300) < 0) {
            QImageWriter writer(file);
            EXPECT_TRUE(writer.write(picture)) << extension << ": " << writer.errorString().toStdString();
        }
        return ReadAll(file);
    }

    // Loads the bytes under a fresh name; the picture before was a 3 x 3 one.
    QImage Load(const QString &name, const QByteArray &bytes)
    {
        const QString file = dir.path() + '/' + name;
        WriteAll(file, bytes);
        QImage picture = NumberedPicture(3, 3);
        EXPECT_TRUE(LoadPictureFile(picture, file)) << name.toStdString();
        return picture;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
};

TEST_F(HostileFiles, GenuineFilesOfEveryKindLoad)
{
    for (const Kind &kind : kKinds) {
        const QImage picture = Load(QStringLiteral("ok.") + kind.extension, Genuine(kind.extension));
        EXPECT_EQ(picture.size(), QSize(24, 16)) << kind.extension;
        EXPECT_EQ(picture.format(), QImage::Format_BGR888) << kind.extension;
    }
}

TEST_F(HostileFiles, AHeaderClaimingTooManyPixelsGivesThePlaceholder)
{
    for (const Kind &kind : kKinds) {
        QByteArray bytes = Genuine(kind.extension);
        ASSERT_GT(bytes.size(), 40) << kind.extension;
        kind.patchSize(bytes);
        const QString name = QStringLiteral("huge.") + kind.extension;
        EXPECT_TRUE(SamePixels(Load(name, bytes), UnreadablePlaceholder())) << kind.extension;
        EXPECT_TRUE(IsKnownUnreadable(dir.path() + '/' + name)) << kind.extension;
    }
}

TEST_F(HostileFiles, AFileCutShortGivesThePlaceholderOrAPictureOfItsSize)
{
    for (const Kind &kind : kKinds) {
        const QByteArray bytes = Genuine(kind.extension);
        for (qsizetype keep : {qsizetype(1), qsizetype(8), qsizetype(30), bytes.size() / 2, bytes.size() - 1}) {
            const QString name = QStringLiteral("cut%1.").arg(keep) + kind.extension;
            const QImage picture = Load(name, bytes.left(keep));
            SCOPED_TRACE(name.toStdString());
            if (keep <= 30) {   // no room for any pixel
                EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder())) << picture.width() << 'x' << picture.height();
            } else {
                EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()) || picture.size() == QSize(24, 16))
                    << picture.width() << 'x' << picture.height();
            }
            EXPECT_EQ(picture.format(), QImage::Format_BGR888);
        }
    }
}

TEST_F(HostileFiles, CorruptBytesGiveThePlaceholderOrAPictureOfItsSize)
{
    for (const Kind &kind : kKinds) {
        const QByteArray genuine = Genuine(kind.extension);
        // Every byte after the signature inverted, zeroed, or a run in the middle scrambled.
        const std::function<void(QByteArray &)> damages[] = {
            [](QByteArray &b) { for (qsizetype i = 4; i < b.size(); ++i) b[i] = char(~b[i]); },
            [](QByteArray &b) { for (qsizetype i = 4; i < b.size(); ++i) b[i] = 0; },
            [](QByteArray &b) { for (qsizetype i = b.size() / 3; i < b.size() * 2 / 3; ++i) b[i] = char(i * 37); },
        };
        int n = 0;
        for (const auto &damage : damages) {
            QByteArray bytes = genuine;
            damage(bytes);
            const QString name = QStringLiteral("bad%1.").arg(n++) + kind.extension;
            const QImage picture = Load(name, bytes);
            SCOPED_TRACE(name.toStdString());
            EXPECT_FALSE(picture.isNull());
            EXPECT_EQ(picture.format(), QImage::Format_BGR888);
            // A file that still passes for a picture keeps its size; otherwise the placeholder.
            if (!SamePixels(picture, UnreadablePlaceholder())) {
                EXPECT_LE(qint64(picture.width()) * picture.height() * 3, PictureByteLimit());
            }
        }
    }
}
}
