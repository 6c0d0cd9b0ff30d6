// "Kaartgegevens bijhouden" through the window: the facts of a series' backs
// checked in the table, corrected by the user, and written into the pictures,
// kaarten.csv and kaarten.ged; Escape saves nothing; a card saved before is
// known again; and with the box off every file is as it always was.
#include "dialogs/card_review.h"
#include "common/synthetic_scan.h"
#include "fakes/file_bytes.h"
#include "imaging/picture_caption.h"
#include "records/card_index.h"
#include "scanwindow/scan_fixture.h"

#include <QDialog>
#include <QDir>
#include <QRandomGenerator>
#include <QTableWidget>

namespace {

const QStringList Backs[] = {
    {"Bid voor de ziel van", "Jan Kuipers", "geboren te Zwolle", "den 1 mei 1901", "overleden te Zwolle",
     "den 9 juni 1970"},
    {"Ter nagedachtenis van", "Anna Maas", "geboren 1888"},
    {"Bid voor de ziel van", "Pieter Jansen", "geboren te Gouda", "den 3 maart 1899", "overleden te Delft",
     "den 2 mei 1950"},
};

QRect CardRect(int i) { return QRect(200 + i * 900, 200, 660, 1120); }

// Three cards at 300 dpi: fronts of shapes of their own, printed backs.
QImage Page(bool back)
{
    std::vector<SyntheticCard> cards;
    for (int i = 0; i < 3; ++i) {
        SyntheticCard card;
        card.rect = CardRect(i);
        card.look = CardLook::Prayer;
        card.lines = Backs[i];
        cards.push_back(card);
    }
    QImage page = MakeScan(2900, 1500, {}, back ? cards : std::vector<SyntheticCard>{});
    if (back)
        return page;
    QPainter p(&page);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.fillRect(CardRect(i), QColor(235, 228, 210));
        QRandomGenerator r{quint32(i + 1)};
        for (int k = 0; k < 9; ++k) {
            p.setBrush(QColor(r.bounded(30, 200), r.bounded(30, 200), r.bounded(30, 200)));
            p.drawEllipse(CardRect(i).topLeft() + QPoint(r.bounded(460), r.bounded(900)), 40 + r.bounded(140),
                          40 + r.bounded(160));
        }
    }
    return page;
}

QTableWidget &Table(QDialog &d) { return *d.findChild<QTableWidget *>("kaarttabel"); }

class SeriesRecordsTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        PrepareSeries(ui(), folder, "kaart001");
        ui().tekstachterkantlezen->setChecked(true);
        ui().dpi->setText("300");
        ui().dpiachter->setText("300");
        ui().Shape1->setGeometry(0, 0, ui().Panel1->width(), ui().Panel1->height());
    }
    // Fronts scanned and confirmed; the backs lie on the glass.
    void scanFronts()
    {
        scanner.image = Page(false);
        prompts.answerYes();
        ui().Scanbut->click();
        scanner.image = Page(true);
    }
    // The backs scanned and confirmed, which saves; the table, when shown, gets answer.
    void series(const PromptAnswer &answer)
    {
        scanFronts();
        prompts.answerYes();
        prompts.answer(answer);
        ui().scanachterkant->click();
    }
    // The same, saved with Opslaan at a fixed scan time, the box off: no table.
    void seriesAt(const QDateTime &when)
    {
        scanFronts();
        prompts.answerNo();
        ui().scanachterkant->click();
        probe().scanTime() = when;
        ui().save->click();
    }
    QStringList files(const QString &in) const
    {
        return QDir(in).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QString folder = program.folder() + "kaarten";
};

} // namespace

TEST_F(SeriesRecordsTest, CheckedFacts_ShouldGoIntoNamesCaptionsIndexAndGedcomAndEscapeSavesNothing)
{
    ui().kaartgegevens->click();
    ASSERT_TRUE(ui().tekstachterkantlezen->isChecked());
    ui().naamuitkaartgegevens->setChecked(true);

    // Escape from Opslaan: nothing saved, and no restart as after a save.
    ui().herstart->setChecked(true);
    scanFronts();
    prompts.answerNo();
    ui().scanachterkant->click();
    prompts.answerCancel();
    ui().save->click();
    EXPECT_EQ(prompts.pending(), 0);
    EXPECT_TRUE(files(folder).isEmpty());
    EXPECT_EQ(probe().boxes().size(), 3u);   // back at the boxes
    EXPECT_TRUE(outsideWorld.calls.isEmpty()) << outsideWorld.calls.join(", ").toStdString();
    ui().herstart->setChecked(false);

    prompts.answer({ModalResult::Ok, {}, {}, [](QDialog &d) {
                        auto &form = static_cast<Tkaartgegevensform &>(d);
                        Table(d).item(2, form.factColumn("achternaam"))->setText("Janssen");
                    }});
    ui().save->click();
    const QString jan = "Kuipers_Jan_1901-05-01_1970-06-09.JPG", pieter = "Janssen_Pieter_1899-03-03_1950-05-02.JPG";
    EXPECT_EQ(QDir(folder).entryList({"*.JPG"}, QDir::Files, QDir::Name), QStringList({pieter, jan, "kaart001.JPG"}));
    QList<CardRecord> index = ReadCardIndex(readAll(folder + "/kaarten.csv"));
    ASSERT_EQ(index.size(), 3);
    EXPECT_EQ(index[0].file, jan);
    EXPECT_EQ(index[0].facts.birthPlace, "Zwolle");
    EXPECT_EQ(index[1].file, "kaart001.JPG");
    EXPECT_EQ(index[2].file, pieter);
    EXPECT_EQ(index[2].facts.surname, "Janssen");
    EXPECT_TRUE(index[2].text.contains("Pieter Jansen"));   // the text is what the back reads
    EXPECT_TRUE(QString::fromUtf8(readAll(folder + "/kaarten.ged")).contains("1 NAME Pieter /Janssen/\n"));
    const PictureCaption caption = ReadPictureCaption(folder + '/' + pieter);
    EXPECT_EQ(caption.title, QString::fromUtf8("Bidprentje van Pieter Janssen (1899–1950)"));
    EXPECT_EQ(caption.person, "Pieter Janssen");
    EXPECT_EQ(caption.subjects, QStringList({"bidprentje", "Janssen"}));

    // The same cards again: each is known by its front; only the one ticked is saved again.
    series({ModalResult::Ok, {}, {}, [&](QDialog &d) {
                const QStringList earlier{jan, "kaart001.JPG", pieter};
                for (int r = 0; r < 3; ++r) {
                    EXPECT_EQ(Table(d).item(r, 0)->text(), "al gescand als " + earlier[r]) << r;
                    EXPECT_EQ(Table(d).item(r, 0)->checkState(), Qt::Unchecked) << r;
                }
                Table(d).item(1, 0)->setCheckState(Qt::Checked);
            }});
    EXPECT_EQ(QDir(folder).entryList({"*.JPG"}, QDir::Files, QDir::Name),
              QStringList({pieter, jan, "kaart001.JPG", "kaart002.JPG"}));
    index = ReadCardIndex(readAll(folder + "/kaarten.csv"));
    ASSERT_EQ(index.size(), 4);
    EXPECT_EQ(index[3].file, "kaart002.JPG");
    EXPECT_EQ(index[3].sameAs, "kaart001.JPG");
}

TEST_F(SeriesRecordsTest, BoxOff_ShouldWriteTheSameFilesAsAWindowThatNeverKeptRecords)
{
    const QDateTime when(QDate(2024, 3, 1), QTime(10, 30, 0));
    const QString before = program.folder() + "voor", after = program.folder() + "na";
    ui().doelmap->setText(before);
    seriesAt(when);

    // A series with the box on, its name pattern left on, then one with the box off.
    ui().kaartgegevens->setChecked(true);
    ui().naamuitkaartgegevens->setChecked(true);
    ui().doelmap->setText(folder);
    series({ModalResult::Ok, {}, {}, {}});
    ASSERT_TRUE(QFileInfo::exists(folder + "/kaarten.csv"));
    ui().kaartgegevens->setChecked(false);
    ui().doelmap->setText(after);
    ui().fnedit->setText("kaart001");
    seriesAt(when);

    const QStringList expected{"kaart001.JPG", "kaart001.txt", "kaart002.JPG", "kaart002.txt", "kaart003.JPG",
                               "kaart003.txt"};
    EXPECT_EQ(files(before), expected);
    EXPECT_EQ(files(after), expected);
    for (const QString &name : expected) {
        EXPECT_TRUE(readAll(before + '/' + name) == readAll(after + '/' + name)) << name.toStdString();
        if (name.endsWith(".JPG")) {
            EXPECT_FALSE(ReadPictureCaption(before + '/' + name).hasRecord()) << name.toStdString();
        }
    }
}
