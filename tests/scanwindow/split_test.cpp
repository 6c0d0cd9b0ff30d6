// kvnscan-split as a command-line user meets it: usage, refusals and names.
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"
#include "common/synthetic_scan.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "records/card_index.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Ran {
    int code;
    QByteArray out;
    QString err;
};

Ran Split(const QStringList &args, const QString &program = QStringLiteral(KVN_BUILD_DIR "/bin/kvnscan-split"))
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

class SplitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QImage scan(600, 800, QImage::Format_RGB32);
        scan.fill(Qt::white);
        QPainter(&scan).fillRect(50, 50, 200, 300, QColor(200, 30, 30));
        QPainter(&scan).fillRect(320, 60, 220, 320, QColor(30, 30, 200));
        ASSERT_TRUE(scan.save(front, "BMP") && scan.save(dir + "voor.png", "PNG"));
        writeAll(dir + "kort.png", readAll(dir + "voor.png").left(100));
        ASSERT_GE(SavePictureFile(scan, dir + "voor.tif", 90, 0), 0);
        writeAll(dir + "kort.tif", readAll(dir + "voor.tif").left(2000));
        writeAll(dir + "leeg.png", "");
        writeAll(dir + "kapot.bmp", "BM" + QByteArray(60, '\xff'));
        writeAll(victim, "oud");
    }
    TempProgram program;
    const QString dir = program.folder(), front = dir + "voor.bmp", out = dir + "uit", victim = dir + "victim.JPG";
};

TEST_F(SplitTest, UsageAndEveryRefusal_ShouldEndWithTheirCodeAndADutchReasonNamingTheFile)
{
    struct Case {
        QStringList args;
        int code;
        QString says;
    };
    const QString deep = out + "/nieuw/dieper";
    const std::vector<Case> cases = {
        {{"--help"}, 0, "gebruik: kvnscan-split VOORKANT [ACHTERKANT] --out MAP"},
        {{"-h"}, 0, "--digits N           getalbreedte, 1 tot en met 5"},
        {{front, "--out", out, "--type", "/../../victim.JPG"}, 2, "--type verwacht een extensie"},
        {{front, "--out", out, "--type", ".JPG/.."}, 2, "--type verwacht een extensie"},
        {{front, "--out", out, "--type", ""}, 2, "--type verwacht een extensie"},
        {{front, "--out", out, "--type", ".qqq"}, 2, "--type .qqq: dit bestandstype kan dit programma niet schrijven"},
        {{front, "--out", out, "--name", "../victim"}, 2, "--name is een bestandsnaam, zonder /"},
        {{front, "--out", out, "--name", "oma\nopa"}, 2, "--name mag geen regeleinde"},
        {{front, "--out", out, "--digits", "1000000000"}, 2, "--digits ligt tussen 1 en 5, niet 1000000000"},
        {{front, "--out", out, "--digits", "0"}, 2, "--digits ligt tussen 1 en 5"},
        {{front, "--out", out, "--quality", "101"}, 2, "--quality ligt tussen 0 en 100"},
        {{front, "--out", out, "--tolerance", "-3"}, 2, "--tolerance ligt tussen 0 en 255"},
        {{front, "--out", out, "--columns", "-1"}, 2, "--columns is 0 of meer, niet -1"},
        {{front, "--out", out, "--margin", "-50"}, 2, "--margin is 0 of meer"},
        {{front, "--out", out, "--selection", "10,10,5,5"}, 2, "--selection verwacht"},
        {{front, "--out", out, "--bogus"}, 2, "onbekende optie --bogus"},
        {{front, front, "--out", out, "--record"}, 2, "--record leest de gegevens van de achterkanten: geef ook --ocr"},
        {{front, front, "--out", out, "--ocr", "--name-pattern", "{achternaam}"}, 2, "geef ook --record"},
        {{front, front, "--out", out, "--ocr", "--record", "--name-pattern", "naam"}, 2, "tussen accolades"},
        {{front, "--out"}, 2, "--out zonder waarde"},
        {{front}, 2, "--out MAP ontbreekt"},
        {{dir + "kort.png", "--out", out}, 1, "kan [" + dir + "kort.png] niet lezen (het bestand is beschadigd)"},
        {{dir + "kapot.bmp", "--out", out}, 1, "kan [" + dir + "kapot.bmp] niet lezen ("},
        {{dir + "kort.tif", "--out", out}, 1, "kan [" + dir + "kort.tif] niet lezen ("},   // and not the library's words
        {{dir + "leeg.png", "--out", out}, 1, "kan [" + dir + "leeg.png] niet lezen ("},
        {{dir + "weg.png", "--out", out}, 1, "kan [" + dir + "weg.png] niet lezen (Bestand of map bestaat niet)"},
        {{dir, "--out", out}, 1, "kan [" + dir + "] niet lezen (Is een map)"},
        {{front, front, "--out", front + "/uit"}, 1, "kan map [" + front + "] niet maken ("},
        {{front, "--out", deep, "--min-size", "100000"}, 1, "geen kaarten gevonden op [" + front + "]"},
        {{front, "--out", out, "--name", QString(300, 'x')}, 1, "001.JPG] niet opslaan (vervangen mislukt: Bestandsnaam te lang)"},
    };
    const QRegularExpression english("\\b(error|failed|cannot|usage|file|directory|not|such|invalid)\\b",
                                     QRegularExpression::CaseInsensitiveOption);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').left(120).toStdString());
        const Ran r = Split(c.args);
        EXPECT_EQ(r.code, c.code) << r.err.left(300).toStdString();
        EXPECT_TRUE((c.code == 0 ? QString::fromUtf8(r.out) : r.err).contains(c.says)) << r.err.left(300).toStdString();
        EXPECT_FALSE((r.err + QString::fromUtf8(r.out)).contains(english)) << r.err.left(300).toStdString();
        // A refused or failed run leaves no file and no folder of its own.
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_EQ(readAll(victim), "oud");
    }
}

TEST_F(SplitTest, ManualPage_ShouldDescribeEveryOptionTheUsageNames)
{
    const QString usage = QString::fromUtf8(Split({"--help"}).out);
    const QString page = QString::fromUtf8(readAll(KVN_SOURCE_DIR "/resources/man/kvnscan-split.1")).remove('\\');
    const QRegularExpression option("--[a-z-]+");
    int options = 0;
    for (auto m = option.globalMatch(usage); m.hasNext(); ++options) {
        const QString name = m.next().captured();
        EXPECT_TRUE(page.contains(name)) << name.toStdString();
    }
    EXPECT_GE(options, 20);
}

TEST_F(SplitTest, NamesAndTypes_ShouldFollowTheWindowsRuleAndPathsKeepTheirBytes)
{
    struct Case {
        QStringList extra;
        QStringList files;
    };
    const std::vector<Case> cases = {
        {{}, {"kaart001.JPG", "kaart002.JPG"}},
        {{"--name", "oma.v2"}, {"oma001.JPG", "oma002.JPG"}},   // the number goes before the last dot
        {{"--name", "kaart7.jpg", "--digits", "1"}, {"kaart7.JPG", "kaart8.JPG"}},
        {{"--type", "png"}, {"kaart001.png", "kaart002.png"}},
        {{"--type", ".PNG"}, {"kaart001.PNG", "kaart002.PNG"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extra.join(' ').toStdString());
        QDir(out).removeRecursively();
        const Ran r = Split(QStringList{front, "--out", out} + c.extra);
        ASSERT_EQ(r.code, 0) << r.err.left(300).toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name), c.files);
        EXPECT_EQ(QString::fromUtf8(r.out), out + '/' + c.files.join('\n' + out + '/') + '\n');
    }
    // A folder name that is not UTF-8 is that folder, and is printed as its bytes.
    const Ran r = Split({"-c", "exec \"$0\" \"$1\" --out \"$(printf \"$2\")\"", KVN_BUILD_DIR "/bin/kvnscan-split", front,
                         dir + "map\\351"},
                        "/bin/sh");
    ASSERT_EQ(r.code, 0) << r.err.left(300).toStdString();
    const QByteArray odd = QFile::encodeName(dir) + "map\xe9";
    EXPECT_TRUE(r.out.startsWith(odd + "/kaart001.JPG\n")) << r.out.toStdString();
    struct stat st;
    EXPECT_EQ(::stat((odd + "/kaart002.JPG").constData(), &st), 0);
    removeByBytes(odd);
}

// A folder of scans in every way they pair: NAME-voor/NAME-achter, NAME and
// NAME-2, one alone and one unreadable; one numbering through all of them.
TEST_F(SplitTest, Batch_ShouldPairByNameNumberOnAndSkipWhatItCannotRead)
{
    const QString scans = dir + "scans/";
    QDir().mkpath(scans);
    for (const QString name : {"oma-voor.bmp", "oma-achter.bmp", "brief.bmp", "brief-2.bmp", "los.bmp"})
        ASSERT_TRUE(QFile::copy(front, scans + name));
    writeAll(scans + "kapot.png", readAll(dir + "kort.png"));
    struct Case {
        QStringList extra;
        int code;
        QStringList files;   // in --out afterwards
        QString says;
    };
    QStringList both, twice;
    for (int k = 1; k <= 12; ++k)
        (k <= 6 ? both : twice) << QString("kaart%1.JPG").arg(k, 3, 10, QChar('0'));
    twice = both + twice;
    const std::vector<Case> cases = {
        // brief + brief-2, kapot (skipped), los alone, oma-voor + oma-achter: in the order of their names.
        {{}, 1, both, "kan [" + scans + "kapot.png] niet lezen (het bestand is beschadigd); overgeslagen"},
        {{}, 1, both, ".JPG bestaat al"},   // a second run overwrites nothing and leaves nothing
        {{"--name", "kaart007"}, 1, twice, "overgeslagen"},
        {{front}, 2, twice, "--batch neemt de scans uit de map"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extra.join(' ').toStdString());
        const Ran r = Split(QStringList{"--batch", scans, "--out", out} + c.extra);
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name), c.files);
    }
    // Pairs hold the back beside the front; los.bmp's cards (kaart003, 004) stand alone.
    const std::vector<int> joined = {1, 1, 0, 0, 1, 1};
    for (size_t i = 0; i < joined.size(); ++i) {
        const QImage card(out + '/' + both[int(i)]);
        EXPECT_EQ(card.width() > card.height(), bool(joined[i])) << both[int(i)].toStdString();
    }
}

// With --record every card's facts go into its pictures, the index and the
// GEDCOM; certain facts name the file, and a second run adds to the index.
TEST_F(SplitTest, Record_ShouldNameFilesFromCertainFactsAndKeepAnIndex)
{
    const QStringList backs[] = {
        {"Bid voor de ziel van", "Jan Kuipers", "geboren te Zwolle", "den 1 mei 1901", "overleden te Zwolle",
         "den 9 juni 1970"},
        {"Ter nagedachtenis van", "Anna Maas", "geboren 1888"},
    };
    std::vector<SyntheticCard> fronts, printed;
    for (int i = 0; i < 2; ++i) {
        SyntheticCard card;
        card.rect = QRect(200 + i * 900, 200, 660, 1120);
        card.look = CardLook::Portrait;
        card.number = i + 1;
        fronts.push_back(card);
        card.look = CardLook::Prayer;
        card.lines = backs[i];
        printed.push_back(card);
    }
    QImage f = MakeScan(2000, 1500, {}, fronts), b = MakeScan(2000, 1500, {}, printed);
    f.setDotsPerMeterX(11811), f.setDotsPerMeterY(11811), b.setDotsPerMeterX(11811), b.setDotsPerMeterY(11811);
    ASSERT_TRUE(f.save(dir + "f.bmp") && b.save(dir + "b.bmp"));
    const QStringList args = {dir + "f.bmp", dir + "b.bmp", "--out", out, "--ocr", "--record", "--sides",
                              "--name-pattern", "{achternaam}_{voornamen}_{geboortedatum}_{overlijdensdatum}"};
    const QString jan = "Kuipers_Jan_1901-05-01_1970-06-09";
    const Ran first = Split(args), second = Split(args + QStringList{"--name", "kaart002"});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    ASSERT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_EQ(QDir(out).entryList({"*.JPG"}, QDir::Files, QDir::Name),
              QStringList({jan + "-2-achterkant.JPG", jan + "-2-voorkant.JPG", jan + "-2.JPG", jan + "-achterkant.JPG",
                           jan + "-voorkant.JPG", jan + ".JPG", "kaart001-achterkant.JPG", "kaart001-voorkant.JPG",
                           "kaart001.JPG", "kaart002-achterkant.JPG", "kaart002-voorkant.JPG", "kaart002.JPG"}));
    const QList<CardRecord> index = ReadCardIndex(readAll(out + "/kaarten.csv"));
    ASSERT_EQ(index.size(), 4);
    EXPECT_EQ(index[0].file, jan + ".JPG");
    EXPECT_EQ(index[0].front, jan + "-voorkant.JPG");
    EXPECT_EQ(index[0].facts.birthPlace, "Zwolle");
    EXPECT_EQ(index[1].file, "kaart001.JPG");
    EXPECT_EQ(index[1].facts.surname, "Maas");
    EXPECT_EQ(index[1].facts.deathDate, "");
    EXPECT_EQ(index[3].file, "kaart002.JPG");
    const QString ged = QString::fromUtf8(readAll(out + "/kaarten.ged"));
    EXPECT_EQ(ged.count(" INDI\n"), 4);
    EXPECT_TRUE(ged.contains("2 FILE " + jan + "-2.JPG\n"));
    const PictureCaption caption = ReadPictureCaption(out + '/' + jan + "-voorkant.JPG");
    EXPECT_EQ(caption.title, QString::fromUtf8("Bidprentje van Jan Kuipers (1901–1970)"));
    EXPECT_EQ(caption.person, "Jan Kuipers");
    EXPECT_EQ(caption.subjects, QStringList({"bidprentje", "Kuipers"}));
    EXPECT_TRUE(Split(args + QStringList{"--name", "kaart003"}).out.contains(out.toUtf8() + "/kaarten.ged"));
}

} // namespace
