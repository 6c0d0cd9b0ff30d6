// A card saved as one unit: a failure in any of its parts, or a disk that
// fills halfway through it, leaves no file of it and the old card as it was.
#include "common/filez.h"
#include "fakes/file_bytes.h"
#include "imaging/picture_caption.h"
#include "scanwindow/card_files.h"
#include "scanwindow/card_save.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>

namespace {

QImage Noise(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (uchar *p = img.scanLine(y), *end = p + 3 * w; p < end; ++p)
            *p = uchar((seed = seed * 1664525u + 1013904223u) >> 24);
    return img;
}

CardSaveInput Card(const QString &path)
{
    CardSaveInput card;
    card.path = path;
    card.joined = Noise(240, 160, 1);
    card.front = Noise(120, 160, 2);
    card.back = Noise(120, 160, 3);
    card.quality = 90;
    card.dpi = 300;
    card.text = QStringLiteral("Bid voor de ziel van Anna Müller");
    card.caption = PictureCaption{card.text, QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)), 300};
    return card;
}

QStringList Entries(const QString &folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name); }

const QStringList kFiles = {"kaart.JPG", "kaart-voorkant.JPG", "kaart-achterkant.JPG", "kaart.txt"};

} // namespace

TEST(CardSave, AFailingPart_ShouldLeaveNoFileOfTheCardAndTheOldCardAsItWas)
{
    // A folder under a part's name stops that part; a caption too large for a JPEG stops the caption.
    const struct {
        const char *part;
        int blocked;   // index in kFiles, -1 for none
    } parts[] = {{"joined", 0}, {"front side", 1}, {"back side", 2}, {"text", 3}, {"caption", -1}};
    for (const auto &p : parts)
        for (const bool old : {false, true}) {
            SCOPED_TRACE(std::string(p.part) + (old ? ", over an old card" : ", a new card"));
            QTemporaryDir dir;
            CardSaveInput card = Card(dir.filePath("kaart.JPG"));
            for (int i = 0; i < kFiles.size(); ++i)
                if (i == p.blocked)
                    ASSERT_TRUE(QDir(dir.path()).mkdir(kFiles[i]));
                else if (old)
                    writeAll(dir.filePath(kFiles[i]), "oude " + kFiles[i].toUtf8());
            const QStringList before = Entries(dir.path());
            if (p.blocked < 0)
                for (int i = 0; i < 3000; ++i)
                    card.caption.subjects << QStringLiteral("onderwerp %1 van een lange lijst").arg(i);

            const CardSaveResult r = SaveCardNow(card);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.failed, dir.filePath(kFiles[std::max(0, p.blocked)]));
            EXPECT_FALSE(r.reason.isEmpty());
            EXPECT_EQ(Entries(dir.path()), before);   // no temporary, no list, nothing new
            for (int i = 0; old && i < kFiles.size(); ++i)
                if (i != p.blocked)
                    EXPECT_EQ(readAll(dir.filePath(kFiles[i])), "oude " + kFiles[i].toUtf8());
        }
}

TEST(CardSave, AWholeCard_ShouldCarryItsCaptionInEveryPictureAndReplaceTheOldCard)
{
    QTemporaryDir dir;
    for (const QString &f : kFiles + QStringList{"kaart.tif"})
        writeAll(dir.filePath(f), "oud");
    CardSaveInput card = Card(dir.filePath("kaart.JPG"));
    card.front = QImage();   // no sides this time: the old ones go
    card.leftovers = {dir.filePath("kaart-voorkant.JPG"), dir.filePath("kaart-achterkant.JPG")};
    const CardSaveResult r = SaveCardNow(card);
    ASSERT_TRUE(r.ok) << r.reason.toStdString();
    EXPECT_EQ(r.files, (QStringList{dir.filePath("kaart.JPG"), dir.filePath("kaart.txt")}));
    EXPECT_EQ(Entries(dir.path()), (QStringList{"kaart.JPG", "kaart.tif", "kaart.txt"}));
    EXPECT_EQ(ReadPictureCaption(dir.filePath("kaart.JPG")).text, card.text);
    EXPECT_EQ(readAll(dir.filePath("kaart.txt")), card.text.toUtf8() + "\r\n");

    card = Card(dir.filePath("kaart.tif"));
    ASSERT_TRUE(SaveCardNow(card).ok);
    for (const char *side : {"kaart.tif", "kaart-voorkant.tif", "kaart-achterkant.tif"})
        EXPECT_EQ(ReadPictureCaption(dir.filePath(side)).text, card.text) << side;
}

// A tmpfs with room for the card's picture but not for its sides: the system
// says ENOSPC halfway through the card.
TEST(CardSave, ADiskFillingHalfwayThroughACard_ShouldLeaveNothingOfItAndSayTheDiskIsFull)
{
    QTemporaryDir measure;
    const CardSaveInput sized = Card(measure.filePath("kaart.JPG"));
    ASSERT_TRUE(SaveCardNow(sized).ok);
    const qint64 joined = QFileInfo(measure.filePath("kaart.JPG")).size();
    const qint64 side = QFileInfo(measure.filePath("kaart-voorkant.JPG")).size();
    ASSERT_GT(side, 3 * 4096);   // the slack below is well short of a side

    QTemporaryDir dir;
    const QByteArray mount = NativePath(dir.path());
    if (::mount("tmpfs", mount.constData(), "tmpfs", 0, "size=512k") != 0) {
        std::printf("no tmpfs can be mounted here: the full disk is left out\n");
        return;
    }
    const qint64 room = (joined + 4095) / 4096 * 4096 + 4096;
    writeAll(dir.filePath(".vulling"), QByteArray(int(512 * 1024 - room), 'x'));
    const CardSaveResult r = SaveCardNow(Card(dir.filePath("kaart.JPG")));
    const QStringList left = Entries(dir.path());
    ::umount2(mount.constData(), MNT_DETACH);

    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failed, dir.filePath("kaart-voorkant.JPG"));
    EXPECT_TRUE(r.noRoom());
    EXPECT_TRUE(r.reason.contains("Geen ruimte meer op het opslagmedium")) << r.reason.toStdString();
    EXPECT_EQ(left, QStringList{".vulling"});
}

namespace {
int g_placing = 0, g_failAt = -1;
QString g_folder, g_snapshot;
// Fails the g_failAt-th file put in place, after copying the folder as a killed save would leave it.
int FailingPlacement(const QString &)
{
    if (g_placing++ != g_failAt)
        return 0;
    for (const QString &name : Entries(g_folder)) {
        if (name.endsWith(".part"))
            continue;   // temporaries go by a rule of their own
        QFile::copy(g_folder + '/' + name, g_snapshot + '/' + name);
        QFile copy(g_snapshot + '/' + name);   // old enough for the next save to undo
        if (name.endsWith(".card") && copy.open(QIODevice::ReadWrite))
            copy.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime);
    }
    return EROFS;
}
} // namespace

// The disk turns read-only, or the process is killed, with part of a card in
// place: the old card comes back byte for byte, its old sides included.
TEST(CardSave, ACardStoppedHalfwayIntoPlace_ShouldLeaveTheOldCardWhole)
{
    const struct {
        int failAt;
        bool sides;
    } rows[] = {{0, true}, {1, true}, {2, true}, {3, true}, {1, false}};
    QStringList all = kFiles;
    all.sort();
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.failAt) + (row.sides ? " with sides" : " without sides"));
        QTemporaryDir dir, snapshot;
        for (const QString &f : kFiles)
            writeAll(dir.filePath(f), "oude " + f.toUtf8());
        CardSaveInput card = Card(dir.filePath("kaart.JPG"));
        if (!row.sides) {
            card.front = QImage();
            card.leftovers = {dir.filePath("kaart-voorkant.JPG"), dir.filePath("kaart-achterkant.JPG")};
        }
        g_placing = 0, g_failAt = row.failAt, g_folder = dir.path(), g_snapshot = snapshot.path();
        CardPlacingFault = FailingPlacement;
        const CardSaveResult r = SaveCardNow(card);
        CardPlacingFault = nullptr;
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, EROFS);
        RemoveHalfSavedCards(snapshot.path());
        for (const QString &folder : {dir.path(), snapshot.path()}) {
            EXPECT_EQ(Entries(folder).join(' ').toStdString(), all.join(' ').toStdString());
            for (const QString &f : kFiles)
                EXPECT_EQ(readAll(folder + '/' + f).toStdString(), ("oude " + f).toStdString());
        }
    }
}
