// The series controls of the window one by one: detection within the frame,
// the boxes drawn on the preview, the frame fitted by Herverdeel, series mode
// on and off, and the placement of a joined back side.
#include "scan_fixture.h"

#include "detection/box_drawing.h"
#include "imaging/picture.h"

#include <QPainter>

namespace {

// White glass with dark cards at known places.
QImage Cards(int w, int h, const std::vector<QRect> &cards)
{
    QImage img(w, h, QImage::Format_BGR888);
    img.fill(Qt::white);
    QPainter p(&img);
    for (const QRect &r : cards)
        p.fillRect(r, QColor(90, 70, 50));
    return img;
}

} // namespace

class SeriesControlsTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        ui().bidprentmode->setChecked(true);
        ui().akol->setText("2");
        ui().fnedit->setText("kaart017.jpg");
    }
    // A scan in the window as the scan handler leaves it, the preview fitted.
    void show(const QImage &scan)
    {
        probe().cleanScan() = scan;
        form->setPicture(scan);
        form->FormResize();
    }
    QRect imageRect() const { return ui().Image1->geometry(); }
};

TEST_F(SeriesControlsTest, Detection_ShouldSearchOnlyWithinTheFrameAndDrawNumberedBoxesOnACopy)
{
    const QImage scan = Cards(1000, 800, {QRect(100, 100, 300, 250), QRect(600, 100, 300, 250),
                                          QRect(100, 450, 300, 250), QRect(600, 450, 300, 250)});
    show(scan);
    // The frame over the left half of the preview.
    const QRect image = imageRect();
    ui().Shape1->setGeometry(image.x(), image.y(), image.width() / 2, image.height());
    form->zoeklossevakkenknopClick();

    ASSERT_EQ(probe().boxes().size(), 2u);
    for (const ScanBox &b : probe().boxes())
        EXPECT_LT(b.right, 500);
    EXPECT_LT(probe().boxes()[0].top, probe().boxes()[1].top);
    EXPECT_EQ(probe().cleanScan(), scan);
    // The boxes as the drawing core makes them, numbered from 17 in the box colour.
    EXPECT_EQ(form->picture(), PreviewWithBoxes(scan, probe().boxes(), 2, 17, unsigned(ui().vakkleur->colour())));
    EXPECT_NE(form->picture(), PreviewWithBoxes(scan, probe().boxes(), 2, 18, unsigned(ui().vakkleur->colour())));

    // A name without digits numbers from 0; the frame over everything finds all four.
    ui().fnedit->setText("kaart");
    ui().Shape1->setGeometry(image);
    form->zoeklossevakkenknopClick();
    ASSERT_EQ(probe().boxes().size(), 4u);
    EXPECT_EQ(form->picture(), PreviewWithBoxes(scan, probe().boxes(), 4, 0, unsigned(ui().vakkleur->colour())));
    // Two columns: the upper pair first, left to right.
    EXPECT_LT(probe().boxes()[0].left, probe().boxes()[1].left);
    EXPECT_LT(probe().boxes()[1].top, probe().boxes()[2].top);
}

TEST_F(SeriesControlsTest, Detection_ShouldReadThePanelsSettings)
{
    show(Cards(1000, 800, {QRect(100, 100, 300, 250), QRect(600, 100, 30, 30)}));
    ui().Shape1->setGeometry(imageRect());
    ui().witrandspin->setText("0");
    ui().maxmagspin->setText("100");
    form->zoeklossevakkenknopClick();
    ASSERT_EQ(probe().boxes().size(), 1u);   // the small item is below the minimum without margin
    ui().maxmagspin->setText("20");
    form->zoeklossevakkenknopClick();
    EXPECT_EQ(probe().boxes().size(), 2u);
    // A background colour the cards match makes the white glass the item.
    ui().achtergrondkleur->setColour(0x324660);   // blue 50, green 70, red 90
    form->zoeklossevakkenknopClick();
    ASSERT_EQ(probe().boxes().size(), 1u);
    EXPECT_EQ(probe().detectionBackground(), 0x324660u);
}

TEST_F(SeriesControlsTest, Herverdeel_ShouldFitTheFrameIntoThePreviewAndAskWithTheCount)
{
    show(Cards(1000, 800, {QRect(100, 100, 300, 250)}));
    const QRect image = imageRect();
    ui().Shape1->setGeometry(image.x() - 30, image.y() + 10, image.width() + 100, image.height() + 50);
    prompts.answerNo();
    form->TestverdelingClick(ui().Testverdeling);

    const QRect frame = ui().Shape1->geometry();
    EXPECT_EQ(frame, image);
    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].text, "1 vakken\r\nIn orde ?");
    // No: the clean scan is shown, the boxes stay, nothing becomes a front.
    EXPECT_EQ(form->picture(), probe().cleanScan());
    EXPECT_EQ(probe().boxes().size(), 1u);
    EXPECT_EQ(probe().frontBoxCount(), 0);
}

TEST_F(SeriesControlsTest, SeriesMode_ShouldShowItsPanelButtonAndFrameOnlyWhileChecked)
{
    ui().bidprentmode->setChecked(false);
    EXPECT_TRUE(ui().Panel2->isHidden());
    EXPECT_TRUE(ui().Testverdeling->isHidden());
    EXPECT_TRUE(ui().Shape1->isHidden());
    EXPECT_EQ(ui().scanachterkant->text(), "Scan\r\nachterkant");

    ui().scanachterkant->setText("scan 3\r\nachterkanten");
    ui().bidprentmode->setChecked(true);
    EXPECT_FALSE(ui().Panel2->isHidden());
    EXPECT_FALSE(ui().Testverdeling->isHidden());
    EXPECT_FALSE(ui().Shape1->isHidden());
    EXPECT_EQ(ui().scanachterkant->text(), "scan 3\r\nachterkanten");   // the timer keeps it in series mode
}

TEST_F(SeriesControlsTest, BackSidePlacement_ShouldAlwaysShowWhatAFreshJoinGives)
{
    ui().bidprentmode->setChecked(false);
    // Sides of different sizes, and a stored item that does not exist (reads as "Rechts").
    const struct {
        QSize front, back;
        int stored;
        std::vector<int> items;
    } cases[] = {
        {{30, 50}, {40, 10}, 0, {1, 0, 1}},
        {{100, 140}, {100, 150}, 1, {0, 1, 0}},
        {{30, 50}, {40, 10}, 5, {1, 0}},
    };
    for (const auto &c : cases) {
        ui().achterkantgroep->setItemIndex(c.stored);
        scanner.image = quarters(c.front.width(), c.front.height());
        ui().Scanbut->click();
        const QImage front = probe().cleanScan();
        scanner.image = plain(c.back.width(), c.back.height(), Qt::blue);
        ui().scanachterkant->click();
        const QImage back = probe().cleanScan();
        ASSERT_TRUE(probe().joinedBackSide());
        EXPECT_EQ(form->picture(), RelayoutBackSide(front, back, c.stored == 1 ? 1 : 0)) << c.stored;
        for (int item : c.items) {
            ui().achterkantgroep->setItemIndex(item);
            const QImage fresh = RelayoutBackSide(front, back, item);
            EXPECT_EQ(form->picture(), fresh) << c.stored << " " << item;
            // The same item again, or a handler call without a change, moves nothing.
            form->achterkantgroepClick();
            ui().achterkantgroep->setItemIndex(item);
            EXPECT_EQ(form->picture(), fresh);
        }
    }
}

TEST_F(SeriesControlsTest, BackSidePlacement_AfterHerverdeelOnAJoinedPicture_ShouldMoveNothing)
{
    ui().bidprentmode->setChecked(false);
    scanner.image = plain(100, 140, Qt::red);
    ui().Scanbut->click();
    scanner.image = plain(100, 150, Qt::blue);
    ui().scanachterkant->click();
    ASSERT_TRUE(probe().joinedBackSide());

    // Herverdeel shows the back alone: the picture is no longer joined.
    prompts.answerNo();
    form->TestverdelingClick(ui().Testverdeling);
    EXPECT_FALSE(probe().joinedBackSide());
    ui().achterkantgroep->setItemIndex(1);
    EXPECT_EQ(form->picture(), probe().cleanScan());
}

TEST_F(SeriesControlsTest, BackSidePlacement_ShouldLeaveAnUnjoinedPictureAlone)
{
    ui().bidprentmode->setChecked(false);
    scanner.image = quarters(120, 80);
    ui().Scanbut->click();
    ASSERT_FALSE(probe().joinedBackSide());
    const QImage before = form->picture();
    ui().achterkantgroep->setItemIndex(1);
    EXPECT_EQ(form->picture(), before);
    ui().achterkantgroep->setItemIndex(0);
    EXPECT_EQ(form->picture(), before);
}
