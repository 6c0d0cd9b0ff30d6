// A series of cards through the window: front scan, confirm, back scan,
// confirm, and every card saved with its back beside its front.
#include "fakes/fake_outside.h"
#include "fakes/fake_scanner.h"
#include "fakes/scripted_prompts.h"
#include "fakes/temp_program.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "scanner/bridge/virtual_scanner.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/scanform.h"
#include "scanform_probe.h"
#include "scanwindow/scan_fixture.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QSet>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QLayout>
#include <deque>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Card {
    QRect rect;
    QColor face;
};

void Fill(QImage &p, const QRect &r, const QColor &c)
{
    const QRect clipped = r.intersected(p.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        uchar *line = p.scanLine(y);
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            line[3 * x] = uchar(c.blue());
            line[3 * x + 1] = uchar(c.green());
            line[3 * x + 2] = uchar(c.red());
        }
    }
}

// Glass of one colour with a little sensor noise; cards with a pale border, a
// face of their own colour and a dark bar of print near the top.
QImage Scan(int w, int h, const QColor &glass, const std::vector<Card> &cards)
{
    QImage p(w, h, QImage::Format_BGR888);
    uint32_t s = 99;
    for (int y = 0; y < h; ++y) {
        uchar *line = p.scanLine(y);
        const int base[3] = {glass.blue(), glass.green(), glass.red()};
        for (int x = 0; x < 3 * w; ++x) {
            s = s * 1664525u + 1013904223u;
            line[x] = uchar(std::clamp(base[x % 3] + int((s >> 29) % 3) - 1, 0, 255));
        }
    }
    for (const Card &c : cards) {
        Fill(p, c.rect, QColor(226, 220, 204));
        const QRect face = c.rect.adjusted(c.rect.width() / 10, c.rect.height() / 10, -c.rect.width() / 10,
                                           -c.rect.height() / 10);
        Fill(p, face, c.face);
        Fill(p, QRect(face.left(), face.top() + face.height() / 8, face.width(), face.height() / 10), QColor(20, 20, 30));
    }
    return p;
}

// Two rows of two cards; the back side is the same group at half the
// resolution, lying elsewhere on the glass, each card turned over in place.
std::vector<Card> Fronts()
{
    return {{QRect(100, 150, 350, 500), QColor(200, 60, 60)},
            {QRect(550, 150, 350, 500), QColor(60, 200, 60)},
            {QRect(100, 750, 350, 500), QColor(60, 60, 200)},
            {QRect(550, 770, 350, 500), QColor(200, 200, 60)}};
}

std::vector<Card> Backs()
{
    const QColor backFaces[4] = {QColor(140, 40, 140), QColor(40, 140, 140), QColor(150, 100, 40), QColor(90, 90, 90)};
    std::vector<Card> out;
    int i = 0;
    for (const Card &c : Fronts()) {
        const QRect r = c.rect;
        out.push_back({QRect(r.x() / 2 + 30, r.y() / 2 + 20, r.width() / 2, r.height() / 2), backFaces[i++]});
    }
    return out;
}

// A scanner that delivers its pictures in turn.
class TurningScanner : public FakeScanner {
public:
    std::deque<QImage> pictures;
    int AcquireToFilename(void *window, const QString &path) override
    {
        if (!pictures.empty()) {
            image = pictures.front();
            pictures.pop_front();
        }
        return FakeScanner::AcquireToFilename(window, path);
    }
};

QColor MeanColour(const QImage &p, const QRect &r)
{
    qint64 sum[3] = {0, 0, 0}, n = 0;
    const QImage rgb = p.convertToFormat(QImage::Format_RGB32);
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            sum[0] += qRed(c);
            sum[1] += qGreen(c);
            sum[2] += qBlue(c);
            ++n;
        }
    return n ? QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)) : QColor();
}

bool Near(const QColor &a, const QColor &b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// A small patch around the centre of a card's face, in the saved picture.
QRect FacePatch(const QRect &card, const ScanBox &box, int offsetX, int offsetY)
{
    const QPoint c = card.center() + QPoint(0, card.height() / 8);
    return QRect(c.x() - box.left + offsetX - 5, c.y() - box.top + offsetY - 5, 10, 10);
}

} // namespace

class SeriesFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PreviewFilePath = program.temp() + "preview.bmp";
        ProductTitle = "Vexlo Scan Tool";
        form = std::make_unique<TScanform>();
        form->resize(768, 702);
        form->layout()->activate();
        folder = program.folder() + "kaarten";
        PrepareSeries(ui(), folder, "kaart017");
        ui().maakachtergrondwitcheck->setChecked(false);
        ui().achterkantgroep->setItemIndex(0);
        ui().akol->setText("2");
        ui().dpi->setText("600");
        ui().dpiachter->setText("300");
        // The frame over the whole panel: the whole picture is searched.
        ui().Shape1->setGeometry(0, 0, ui().Panel1->width(), ui().Panel1->height());
    }
    Ui::TScanform &ui() const { return form->controls(); }
    ScanformProbe probe() const { return {*form}; }

    QStringList savedFiles() const { return QDir(folder).entryList({"*.JPG"}, QDir::Files, QDir::Name); }
    QImage load(const QString &name) const { return QImageReader(folder + '/' + name).read(); }

    TempProgram program;
    FakeOutside outsideWorld;
    TurningScanner scanner;
    ScriptedPrompts prompts;
    std::unique_ptr<TScanform> form;
    QString folder;
};

TEST_F(SeriesFlowTest, FrontYesBackYes_ShouldSaveEveryCardWithItsOwnBackBesideItsFront)
{
    const QImage front = Scan(1000, 1400, Qt::white, Fronts());
    const QImage back = Scan(500, 700, Qt::white, Backs());

    scanner.pictures = {front};
    prompts.answerYes();
    ui().Scanbut->click();
    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].kind, "yesno");
    EXPECT_EQ(prompts.transcript()[0].caption, "Vakken bepaald");
    EXPECT_EQ(prompts.transcript()[0].text, "4 vakken\r\nIn orde ?");
    EXPECT_EQ(prompts.transcript()[0].defaultChoice, ModalResult::Yes);
    EXPECT_EQ(probe().frontBoxCount(), 4);
    EXPECT_EQ(probe().frontBoxes(), probe().boxes());
    EXPECT_EQ(probe().frontScan(), probe().cleanScan());
    EXPECT_EQ(form->picture(), probe().cleanScan());   // the drawn boxes are gone again
    EXPECT_TRUE(savedFiles().isEmpty());

    scanner.pictures = {back};
    prompts.answerYes();
    ui().scanachterkant->click();
    ASSERT_EQ(prompts.transcript().size(), 3u);   // the last the saving's progress window
    EXPECT_EQ(prompts.transcript()[1].text, "4 vakken\r\nIn orde ?");
    EXPECT_EQ(scanner.resolutions, (QList<double>{600, 300}));
    EXPECT_TRUE(probe().backSidePass());

    EXPECT_EQ(savedFiles(), (QStringList{"kaart017.JPG", "kaart018.JPG", "kaart019.JPG", "kaart020.JPG"}));
    EXPECT_EQ(ui().fnedit->text(), "kaart021");
    const auto fronts = Fronts(), backs = Backs();
    for (int k = 0; k < 4; ++k) {
        const QImage saved = load(QString("kaart%1.JPG").arg(17 + k, 3, 10, QChar('0')));
        ASSERT_FALSE(saved.isNull()) << k;
        const ScanBox &f = probe().frontBoxes()[size_t(k)];
        const ScanBox &b = probe().boxes()[size_t(k)];
        // No rescaling: the 300-dpi back keeps its own size beside the front.
        EXPECT_EQ(saved.size(), QSize(f.width() + b.width(), std::max(f.height(), b.height()))) << k;
        EXPECT_TRUE(Near(MeanColour(saved, FacePatch(fronts[size_t(k)].rect, f, 0, 0)), fronts[size_t(k)].face)) << k;
        EXPECT_TRUE(Near(MeanColour(saved, FacePatch(backs[size_t(k)].rect, b, f.width(), 0)), backs[size_t(k)].face))
            << k;
    }
    // The fronts stay confirmed for a second back scan.
    EXPECT_EQ(probe().frontBoxCount(), 4);
    EXPECT_EQ(form->picture(), probe().cleanScan());
}

TEST_F(SeriesFlowTest, StraightOnWithTheBack_ShouldAskToTurnTheCardsAndScanTheBackAtOnce)
{
    ui().gelijkachterkant->setChecked(true);
    ui().achterkantgroep->setItemIndex(1);   // "Onder"
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts()), Scan(500, 700, Qt::white, Backs())};
    prompts.answerYes();
    prompts.answerYes();
    ui().Scanbut->click();
    QCoreApplication::processEvents();   // the back side follows the front scan's handler

    ASSERT_EQ(prompts.transcript().size(), 3u);   // the last the saving's progress window
    EXPECT_EQ(prompts.transcript()[0].text,
              "4 vakken\r\nIn orde ?\r\n\r\nZoja, draai dan nu eerst de prenten om\r\nen klik dan \"Ja\".");
    // The back pass asks without the addition.
    EXPECT_EQ(prompts.transcript()[1].text, "4 vakken\r\nIn orde ?");
    EXPECT_EQ(scanner.resolutions, (QList<double>{600, 300}));
    ASSERT_EQ(savedFiles().size(), 4);
    const ScanBox &f = probe().frontBoxes()[0];
    const ScanBox &b = probe().boxes()[0];
    const QImage first = load("kaart017.JPG");
    EXPECT_EQ(first.size(), QSize(std::max(f.width(), b.width()), f.height() + b.height()));
    EXPECT_TRUE(Near(MeanColour(first, FacePatch(Backs()[0].rect, b, 0, f.height())), Backs()[0].face));
    // The window ends on the clean back scan.
    EXPECT_EQ(form->picture().size(), QSize(500, 700));
}

TEST_F(SeriesFlowTest, AnswerNo_ShouldKeepTheBoxesForALaterSaveOfTheFrontsAlone)
{
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts())};
    prompts.answerNo();
    ui().Scanbut->click();
    EXPECT_EQ(probe().frontBoxCount(), 0);
    EXPECT_EQ(probe().boxes().size(), 4u);
    EXPECT_EQ(form->picture(), probe().cleanScan());

    // Opslaan after a front pass cuts every box by itself.
    ui().save->click();
    ASSERT_EQ(savedFiles().size(), 4);
    const QImage first = load("kaart017.JPG");
    EXPECT_EQ(first.size(), QSize(probe().boxes()[0].width(), probe().boxes()[0].height()));
    EXPECT_TRUE(Near(MeanColour(first, FacePatch(Fronts()[0].rect, probe().boxes()[0], 0, 0)), Fronts()[0].face));
}

TEST_F(SeriesFlowTest, NoBoxesOnTheBack_ShouldStillAskAndSaveTheWholeBackScan)
{
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts())};
    prompts.answerYes();
    ui().Scanbut->click();

    scanner.pictures = {Scan(500, 700, Qt::white, {})};
    prompts.answerYes();
    ui().scanachterkant->click();
    ASSERT_EQ(prompts.transcript().size(), 2u);
    EXPECT_EQ(prompts.transcript()[1].text, "0 vakken\r\nIn orde ?");
    ASSERT_EQ(savedFiles(), QStringList{"kaart017.JPG"});
    EXPECT_EQ(load("kaart017.JPG").size(), QSize(500, 700));
}

TEST_F(SeriesFlowTest, BackWithoutConfirmedFronts_ShouldSaveEveryBackByItself)
{
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts())};
    prompts.answerNo();
    ui().Scanbut->click();
    ASSERT_EQ(probe().frontBoxCount(), 0);

    scanner.pictures = {Scan(500, 700, Qt::white, Backs())};
    prompts.answerYes();
    ui().scanachterkant->click();
    ASSERT_EQ(savedFiles().size(), 4);
    EXPECT_EQ(load("kaart017.JPG").size(), QSize(probe().boxes()[0].width(), probe().boxes()[0].height()));
}

TEST_F(SeriesFlowTest, WhiteBackground_ShouldWhitenTheMarginsAndTheStoredFrontScan)
{
    const QColor glass(20, 20, 24);
    ui().achtergrondkleur->setColour(0x181414);   // blue 24, green 20, red 20
    ui().kleurgrensspin->setText("6");
    ui().maakachtergrondwitcheck->setChecked(true);
    scanner.pictures = {Scan(1000, 1400, glass, Fronts())};
    prompts.answerYes();
    ui().Scanbut->click();
    scanner.pictures = {Scan(500, 700, glass, Backs())};
    prompts.answerYes();
    ui().scanachterkant->click();

    ASSERT_EQ(savedFiles().size(), 4);
    const QImage first = load("kaart017.JPG");
    EXPECT_TRUE(Near(MeanColour(first, QRect(0, 0, 8, 8)), Qt::white));
    EXPECT_TRUE(Near(MeanColour(first, QRect(first.width() - 8, first.height() - 8, 8, 8)), Qt::white));
    EXPECT_TRUE(Near(MeanColour(first, FacePatch(Fronts()[0].rect, probe().frontBoxes()[0], 0, 0)), Fronts()[0].face));
    // The stored front scan keeps the whitening; the clean back scan does not.
    const ScanBox &f = probe().frontBoxes()[0];
    EXPECT_EQ(probe().frontScan().pixelColor(std::max(f.left, 0) + 2, std::max(f.top, 0) + 2), QColor(Qt::white));
    const ScanBox &b = probe().boxes()[0];
    EXPECT_NE(probe().cleanScan().pixelColor(std::max(b.left, 0) + 2, std::max(b.top, 0) + 2), QColor(Qt::white));
}

TEST_F(SeriesFlowTest, SeparateSidesAndText_ShouldSaveBothSidesBesideEachCardAndTheTextInsideTheFirst)
{
    ui().lossekanten->setChecked(true);
    ui().Memo1->setPlainText(QStringLiteral("Familie Müller, 1931"));
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts())};
    prompts.answerYes();
    ui().Scanbut->click();
    scanner.pictures = {Scan(500, 700, Qt::white, Backs())};
    prompts.answerYes();
    ui().scanachterkant->click();

    QStringList expected;
    for (int k = 17; k <= 20; ++k)
        expected << QString("kaart%1-achterkant.JPG").arg(k, 3, 10, QChar('0'))
                 << QString("kaart%1-voorkant.JPG").arg(k, 3, 10, QChar('0'))
                 << QString("kaart%1.JPG").arg(k, 3, 10, QChar('0'));
    EXPECT_EQ(savedFiles(), expected);
    EXPECT_EQ(ui().fnedit->text(), "kaart021");   // numbering stays that of the joined pictures
    for (int k = 0; k < 4; ++k) {
        const QString stem = QString("kaart%1").arg(17 + k, 3, 10, QChar('0'));
        const ScanBox &f = probe().frontBoxes()[size_t(k)], &b = probe().boxes()[size_t(k)];
        const QImage front = load(stem + "-voorkant.JPG"), back = load(stem + "-achterkant.JPG");
        EXPECT_EQ(front.size(), QSize(f.width(), f.height())) << k;
        EXPECT_EQ(back.size(), QSize(b.width(), b.height())) << k;
        EXPECT_TRUE(Near(MeanColour(back, FacePatch(Backs()[size_t(k)].rect, b, 0, 0)), Backs()[size_t(k)].face)) << k;
    }
    // The text goes where its text file goes: with the first card, inside all its files.
    EXPECT_TRUE(QFileInfo::exists(folder + "/kaart017.txt"));
    for (const QString name : {"kaart017.JPG", "kaart017-voorkant.JPG", "kaart017-achterkant.JPG"})
        EXPECT_EQ(ReadPictureCaption(folder + '/' + name).text, QStringLiteral("Familie Müller, 1931"));
    EXPECT_TRUE(ReadPictureCaption(folder + "/kaart018.JPG").text.isEmpty());
}

TEST_F(SeriesFlowTest, Splitter_ShouldWriteTheSameFilesAsTheWindowForTheSameScans)
{
    const QImage front = VirtualScanPage(150, false), back = VirtualScanPage(150, true);
    ui().dpi->setText("150");
    ui().fnedit->setText("kaart001");
    ui().akol->setText("0");
    ui().achterkantgroep->setItemIndex(1);
    ui().maakachtergrondwitcheck->setChecked(true);
    ui().kaartenrechtzetten->setChecked(true);
    ui().lossekanten->setChecked(true);
    scanner.pictures = {front};
    prompts.answerYes();
    ui().Scanbut->click();
    scanner.pictures = {back};
    prompts.answerYes();
    ui().scanachterkant->click();
    const QStringList windowFiles = savedFiles();
    ASSERT_EQ(windowFiles.size(), 18);   // six cards, each with its two sides

    const QString scans = program.folder(), out = program.folder() + "gesplitst";
    ASSERT_GE(SavePictureFile(front, scans + "voor.bmp", 90, 150), 0);
    ASSERT_GE(SavePictureFile(back, scans + "achter.bmp", 90, 150), 0);
    auto split = [&](const QStringList &extra) {
        QProcess p;
        p.start(QStringLiteral(KVN_BUILD_DIR "/bin/kvnscan-split"),
                QStringList{scans + "voor.bmp", scans + "achter.bmp", "--out", out, "--name", "kaart001", "--below",
                            "--white", "--straighten", "--sides"} + extra);
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::make_tuple(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                               QString::fromUtf8(p.readAllStandardError()));
    };
    auto [code, printed, errors] = split({});
    ASSERT_EQ(code, 0) << errors.toStdString();
    const QStringList splitFiles = QDir(out).entryList({"*.JPG"}, QDir::Files, QDir::Name);
    EXPECT_EQ(splitFiles, windowFiles);
    EXPECT_EQ(printed.split('\n', Qt::SkipEmptyParts).size(), 18);
    EXPECT_TRUE(printed.startsWith(out + "/kaart001.JPG\n")) << printed.toStdString();
    for (const QString &name : windowFiles) {
        QFile a(folder + '/' + name), b(out + '/' + name);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_TRUE(a.readAll() == b.readAll()) << name.toStdString();
    }

    // A card further on would overwrite a file: refused, and the cards before it are taken away again.
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    QFile old(out + "/kaart003-voorkant.JPG");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("oud") == 3);
    old.close();
    std::tie(code, printed, errors) = split({});
    EXPECT_NE(code, 0);
    EXPECT_TRUE(printed.isEmpty());
    EXPECT_TRUE(errors.contains("kaart003-voorkant.JPG bestaat al")) << errors.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"kaart003-voorkant.JPG"});
    EXPECT_EQ(QFileInfo(out + "/kaart003-voorkant.JPG").size(), 3);
    // With the backs read (straightened, as saved), every card has a text file of its own back.
    QDir(out).removeRecursively();
    std::tie(code, printed, errors) = split({"--ocr", "--lang", "nld"});
    ASSERT_EQ(code, 0) << errors.toStdString();
    QSet<QString> texts;
    for (int k = 1; k <= 6; ++k) {
        QFile t(out + QString("/kaart%1.txt").arg(k, 3, 10, QChar('0')));
        ASSERT_TRUE(t.open(QIODevice::ReadOnly)) << k;
        texts.insert(QString::fromUtf8(t.readAll()));
    }
    EXPECT_EQ(texts.size(), 6);
}

TEST_F(SeriesFlowTest, OpenedPictureAfterASeriesPass_ShouldCountAsAPlainScanAndSaveNothingUnasked)
{
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts()), Scan(500, 700, Qt::white, Backs())};
    prompts.answerYes();
    ui().Scanbut->click();
    prompts.answerYes();
    ui().scanachterkant->click();
    ASSERT_EQ(savedFiles().size(), 4);

    const QString opened = program.folder() + "oud.bmp";
    ASSERT_TRUE(Scan(1000, 1400, Qt::white, Fronts()).save(opened));
    prompts.answerOk(opened);
    form->openfileknopClick();
    EXPECT_FALSE(probe().backSidePass());

    // Herverdeel and Yes on the opened picture confirm its boxes as fronts.
    prompts.answerYes();
    form->TestverdelingClick(ui().Testverdeling);
    EXPECT_EQ(savedFiles().size(), 4);
    EXPECT_EQ(probe().frontBoxCount(), 4);
}

TEST_F(SeriesFlowTest, Captions_ShouldSayWhatTheNextScanAndSaveDoAfterNoAfterFrontsAloneAndAfterSaving)
{
    const auto captions = [this] {
        form->Timer1Timer();
        return (ui().scanachterkant->text() + " | " + ui().save->text()).toStdString();
    };
    // A whole series first: its fronts are done with once saved with their backs.
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts()), Scan(500, 700, Qt::white, Backs())};
    prompts.answerYes();
    ui().Scanbut->click();
    EXPECT_EQ(captions(), "scan 4\r\nachterkanten | Opslaan\r\n 4 scans");   // fronts alone
    prompts.answerYes();
    ui().scanachterkant->click();
    EXPECT_EQ(captions(), "scan 4\r\nachterkanten | Opslaan");   // saved: Scan invites the next
    // "Nee" to the boxes of a new front scan: no back is paired with the old fronts.
    scanner.pictures = {Scan(1000, 1400, Qt::white, Fronts())};
    prompts.answerNo();
    ui().Scanbut->click();
    EXPECT_EQ(captions(), "scan\r\nachterkant | Opslaan\r\n 4 scans");
    // Backs without confirmed fronts are saved each by itself.
    scanner.pictures = {Scan(500, 700, Qt::white, Backs())};
    prompts.answerNo();
    ui().scanachterkant->click();
    EXPECT_EQ(captions(), "scan\r\nachterkant | Opslaan\r\n 4 scans");
    // Plain mode saves the one picture, whatever boxes the series left.
    ui().bidprentmode->setChecked(false);
    EXPECT_EQ(captions(), "scan\r\nachterkant | Opslaan\r\n scan");
}
