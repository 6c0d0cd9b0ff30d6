// Damaged and lying picture files of every kind the image library reads: the
// load ends with the placeholder (or, for a damaged tail a decoder can live
// with, a picture of the size the file states), within the decoder's limits,
// and the program itself never crashes, hangs or grows.
#include "fakes/format_samples.h"
#include "fakes/scripted_prompts.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"
#include "test_pictures.h"
#include "fakes/file_bytes.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

qint64 PeakMegabytes()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss >> 10;
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Low enough that no decoder would be allowed the memory the patched headers claim.
        SetPictureByteLimit(qint64(256) << 20);
        SetDecodeSeconds(3);
        samples = FormatSamples(dir.path());
    }
    void TearDown() override
    {
        SetPictureByteLimit(0);
        SetDecodeSeconds(0);
    }

    // Loads the bytes under a fresh name; the picture before was a 3 x 3 one.
    QImage Load(const QString &name, const QByteArray &bytes)
    {
        const QString file = dir.path() + '/' + name;
        writeAll(file, bytes);
        QImage picture = NumberedPicture(3, 3);
        EXPECT_TRUE(LoadPictureFile(picture, file)) << name.toStdString();
        return picture;
    }

    // The placeholder, the file on the unreadable list, and a notice saying why.
    void ExpectUnreadable(const QString &name, const QImage &picture, const char *why = nullptr)
    {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder())) << picture.width() << 'x' << picture.height();
        EXPECT_TRUE(IsKnownUnreadable(dir.path() + '/' + name));
        ASSERT_FALSE(prompts.transcript().empty());
        const QString notice = prompts.transcript().back().text;
        EXPECT_TRUE(notice.contains(name)) << notice.toStdString();
        EXPECT_TRUE(notice.contains(QLatin1String("te groot")) || notice.contains(QLatin1String("te traag"))
                    || notice.contains(QLatin1String("beschadigd")))
            << notice.toStdString();
        if (why) {
            EXPECT_TRUE(notice.contains(QLatin1String(why))) << notice.toStdString();
        }
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::vector<FormatSample> samples;
};

TEST_F(HostileFiles, GenuineFilesOfEveryKindLoad)
{
    // The kinds the library writes, and those made here by hand.
    EXPECT_GE(samples.size(), 22u);
    for (const FormatSample &s : samples) {
        const QImage picture = Load(QStringLiteral("ok.") + s.extension, s.bytes);
        EXPECT_EQ(picture.size(), QSize(format_samples::kWidth, format_samples::kHeight))
            << s.extension << ": " << prompts.texts().join(' ').toStdString();
        EXPECT_EQ(picture.format(), QImage::Format_BGR888) << s.extension;
    }
    EXPECT_TRUE(prompts.transcript().empty());
}

TEST_F(HostileFiles, AHeaderClaimingTooManyPixelsGivesThePlaceholderAndTheProgramStaysSmall)
{
    int claimed = 0;
    for (const FormatSample &s : samples) {
        QByteArray bytes = s.bytes;
        if (!s.claimHuge(bytes))
            continue;
        ++claimed;
        const QString name = QStringLiteral("huge.") + s.extension;
        ExpectUnreadable(name, Load(name, bytes));
        // Whatever the decoder took was its own.
        EXPECT_LT(PeakMegabytes(), 1024) << s.extension;
    }
    EXPECT_GE(claimed, 22);
}

TEST_F(HostileFiles, EndlessDecodingAndBombsEndWithinTheLimits)
{
    // Each is tiny; the library would loop for minutes or take gigabytes on them.
    const struct {
        const char *name;
        QByteArray bytes;
        const char *why;
    } cases[] = {
        {"loop.xbm", "#define a_width 65535\n#define a_height 65535\nstatic char a_bits[] = {\n0x00,\n};\n",
         nullptr},
        {"endless.xbm", "#define b_width 30000\n#define b_height 30000\nstatic char b_bits[] = {\n", nullptr},
        {"huge.gif", QByteArray("GIF89a\xff\xff\xff\xff\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\xff\xff\xff\xff\0\2\2D\1\0;", 35),
         "te groot"},
    };
    for (const auto &c : cases)
        ExpectUnreadable(c.name, Load(c.name, c.bytes), c.why);
    // The library writes past its buffer here; whether that kills the decoder
    // depends on its heap, so either outcome is fine as long as ours survives.
    const QImage pict = Load("overrun.pct", format_samples::Pict());
    if (!SamePixels(pict, UnreadablePlaceholder())) {
        EXPECT_FALSE(pict.isNull());
    }
}

TEST_F(HostileFiles, AFileCutShortGivesThePlaceholderOrAPictureOfItsSize)
{
    for (const FormatSample &s : samples) {
        for (qsizetype keep : {qsizetype(1), qsizetype(30), s.bytes.size() / 2, s.bytes.size() - 1}) {
            const QString name = QStringLiteral("cut%1.").arg(keep) + s.extension;
            const QImage picture = Load(name, s.bytes.left(keep));
            SCOPED_TRACE(name.toStdString());
            EXPECT_TRUE(SamePixels(picture, UnreadablePlaceholder()) || picture.size() == QSize(24, 16)
                        || (keep == 1 && picture.size() == QSize(3, 3)))   // too little to tell a picture
                << picture.width() << 'x' << picture.height();
            EXPECT_EQ(picture.format(), QImage::Format_BGR888);
        }
    }
}

TEST_F(HostileFiles, CorruptBytesGiveThePlaceholderOrAPictureWithinTheLimit)
{
    for (const FormatSample &s : samples) {
        // Every byte after the signature inverted, zeroed, or a run in the middle scrambled.
        const std::function<void(QByteArray &)> damages[] = {
            [](QByteArray &b) { for (qsizetype i = 4; i < b.size(); ++i) b[i] = char(~b[i]); },
            [](QByteArray &b) { for (qsizetype i = 4; i < b.size(); ++i) b[i] = 0; },
            [](QByteArray &b) { for (qsizetype i = b.size() / 3; i < b.size() * 2 / 3; ++i) b[i] = char(i * 37); },
        };
        int n = 0;
        for (const auto &damage : damages) {
            QByteArray bytes = s.bytes;
            damage(bytes);
            const QString name = QStringLiteral("bad%1.").arg(n++) + s.extension;
            const QImage picture = Load(name, bytes);
            SCOPED_TRACE(name.toStdString());
            EXPECT_FALSE(picture.isNull());
            EXPECT_EQ(picture.format(), QImage::Format_BGR888);
            EXPECT_LE(qint64(picture.width()) * picture.height() * 3, PictureByteLimit());
        }
    }
}

TEST_F(HostileFiles, AnnulerenStopsTheDecoderAndKeepsThePicture)
{
    // After a second a window offers "Annuleren"; the picture stays as it was.
    SetDecodeSeconds(60);
    prompts.stopBusyWork = true;
    const QImage picture = Load("slow.xbm", "#define c_width 65535\n#define c_height 65535\nstatic char c_bits[] = {\n");
    EXPECT_TRUE(SamePixels(picture, NumberedPicture(3, 3)));
    EXPECT_FALSE(IsKnownUnreadable(dir.path() + "/slow.xbm"));
    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].kind, "busy");
    EXPECT_EQ(prompts.transcript()[0].caption, "Bestand openen");
    EXPECT_EQ(prompts.transcript()[0].text, "Bezig met lezen van slow.xbm…");
}
}

// Every way the decoder can end says its own reason: a missing library or a
// wrong start is not a damaged file (which would be forgotten or deleted).
TEST(DecoderEndings, EachEndingHasItsOwnReason)
{
    QStringList reasons;
    for (const PictureDecodeResult outcome :
         {PictureDecodeResult::NotAPicture, PictureDecodeResult::TooLarge, PictureDecodeResult::Damaged,
          PictureDecodeResult::TooSlow, PictureDecodeResult::NoDecoder, PictureDecodeResult::NoLibrary,
          PictureDecodeResult::StartedWrongly}) {
        const QString reason = DecodeReason(outcome);
        EXPECT_FALSE(reasons.contains(reason)) << reason.toStdString();
        reasons << reason;
    }
    for (const QStringList &args : {QStringList{}, QStringList{"1000", "5", "/nergens.png"}}) {
        QProcess decoder;
        decoder.start(DecoderProgram(), args);
        ASSERT_TRUE(decoder.waitForFinished(60000));
        EXPECT_EQ(decoder.exitCode(), kDecoderStartedWrongly) << args.join(' ').toStdString();
    }
}
