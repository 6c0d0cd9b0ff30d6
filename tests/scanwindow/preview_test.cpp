// Preview, selection frame, colour picking, button layouts and captions.
#include "scan_fixture.h"

#include "detection/box_drawing.h"
#include "imaging/picture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>

class PreviewTest : public ScanWindowTest {
protected:
    void showPicture(const QImage &img, QSize shown)
    {
        form->setPicture(img);
        ui().Image1->setGeometry(QRect(QPoint(0, 0), shown));
    }
    void drag(QPoint from, QPoint to)
    {
        form->Image1MouseDown(Qt::LeftButton, from.x(), from.y());
        form->Image1MouseMove(to.x(), to.y());
        form->Image1MouseUp(Qt::LeftButton, to.x(), to.y());
    }
};

TEST_F(PreviewTest, RightClick_ShouldPickThePicturePixelUnderTheScaledPoint)
{
    QImage img = plain(2000, 1000, Qt::white);
    img.setPixelColor(1000, 500, QColor(10, 20, 30));
    showPicture(img, QSize(800, 400));
    form->Image1MouseDown(Qt::RightButton, 400, 200);
    probe().pictureMenu()->close();
    EXPECT_EQ(probe().pickedColour(), 30u * 65536 + 20 * 256 + 10);
    EXPECT_EQ(form->PreviewToPicture(400, 200), QPoint(1000, 500));
    EXPECT_EQ(form->PreviewToPicture(799, 399), QPoint(1997, 997));   // truncated

    probe().backgroundAction()->trigger();
    EXPECT_EQ(ui().achtergrondkleur->colour(), 30 * 65536 + 20 * 256 + 10);
    EXPECT_FALSE(probe().dragging());
}

TEST_F(PreviewTest, RightClick_OnAnEmptyPicture_ShouldPickWhiteWithoutFailing)
{
    ui().Image1->setGeometry(0, 0, 100, 100);
    form->Image1MouseDown(Qt::RightButton, 50, 50);
    probe().pictureMenu()->close();
    EXPECT_EQ(probe().pickedColour(), 0xFFFFFFu);
}

TEST_F(PreviewTest, Drag_ShouldDrawTheFrameOnlyBeyondTenPixelsInBothDirections_WhicheverWay)
{
    ui().bidprentmode->setChecked(true);   // the series frame
    showPicture(plain(800, 400, Qt::white), QSize(800, 400));
    ui().Image1->move(5, 7);
    const QRect before = ui().Shape1->geometry();
    const struct {
        QPoint from, to;
        QRect frame;   // empty: the frame stays as it was, hidden
    } cases[] = {
        {{100, 100}, {110, 110}, {}},   // exactly 10: too little
        {{100, 100}, {300, 110}, {}},   // wide but only 10 high
        {{100, 100}, {111, 111}, {105, 107, 11, 11}},
        {{50, 60}, {250, 160}, {55, 67, 200, 100}},
        {{250, 160}, {50, 60}, {55, 67, 200, 100}},   // up and left: the same frame
    };
    for (const auto &c : cases) {
        ui().Shape1->setGeometry(before);
        ui().Shape1->hide();
        drag(c.from, c.to);
        EXPECT_EQ(ui().Shape1->geometry(), c.frame.isEmpty() ? before : c.frame) << c.to.x() << "," << c.to.y();
        EXPECT_EQ(ui().Shape1->isHidden(), c.frame.isEmpty());
        EXPECT_FALSE(probe().dragging());
    }
}

TEST_F(PreviewTest, MoveWithoutPress_AndRightRelease_ShouldLeaveTheFrame)
{
    showPicture(plain(800, 400, Qt::white), QSize(800, 400));
    const QRect before = ui().Shape1->geometry();
    form->Image1MouseMove(300, 300);
    form->Image1MouseUp(Qt::RightButton, 300, 300);
    EXPECT_EQ(ui().Shape1->geometry(), before);
}

TEST_F(PreviewTest, PressOnTheFrame_ShouldActAsAPressOnThePictureBeneath)
{
    ui().bidprentmode->setChecked(true);
    showPicture(plain(800, 400, Qt::white), QSize(800, 400));
    ui().Image1->move(10, 20);
    ui().Shape1->setGeometry(100, 100, 200, 100);
    ui().Shape1->show();
    form->Shape1MouseDown(Qt::LeftButton, 5, 5);
    EXPECT_TRUE(probe().dragging());
    EXPECT_EQ(probe().dragStart(), QPoint(95, 85));
    form->Shape1MouseUp(Qt::LeftButton, 50, 50);   // 45 x 45 from the start
    EXPECT_EQ(ui().Shape1->geometry(), QRect(105, 105, 45, 45));
}

// Plain mode: the frame narrows what Opslaan saves, turns with the picture,
// and goes with it; the series frame is not touched.
TEST_F(PreviewTest, PlainFrame_ShouldNarrowTheSave_FollowThePicture_AndGoWithIt)
{
    ui().bidprentmode->setChecked(false);
    form->show();
    auto *frame = form->findChild<SelectionFrame *>("plainShape");
    ASSERT_NE(frame, nullptr);
    const QRect seriesFrame = ui().Shape1->geometry();
    // Drags from picture pixel a to b, wherever the preview is now.
    auto dragOver = [&](QPoint a, QPoint b) {
        const QRect image = ui().Image1->geometry();
        const QSize pic = form->picture().size();
        auto at = [&](QPoint p) { return QPoint(p.x() * image.width() / pic.width(), p.y() * image.height() / pic.height()); };
        drag(at(a), at(b));
    };
    ui().Image1->setGeometry(0, 0, 300, 200);
    drag({10, 10}, {200, 150});
    EXPECT_TRUE(frame->isHidden()) << "a frame without a picture";

    QImage page = plain(400, 300, Qt::white);
    QPainter(&page).fillRect(100, 50, 120, 90, Qt::red);   // the part to keep
    form->setPicture(page);
    form->FormResize();
    dragOver({110, 60}, {210, 130});
    ASSERT_FALSE(frame->isHidden());
    auto allRed = [&](const char *when) {
        SCOPED_TRACE(when);
        const QImage kept = form->pictureToSave();
        EXPECT_LT(kept.width() * kept.height(), 400 * 300 / 4);
        for (QPoint p : {QPoint(0, 0), QPoint(kept.width() - 1, kept.height() - 1), QPoint(0, kept.height() - 1)})
            EXPECT_EQ(kept.pixelColor(p), QColor(Qt::red)) << p.x() << "," << p.y();
        EXPECT_TRUE(ui().Image1->geometry().contains(frame->geometry()));
        EXPECT_FALSE(frame->isHidden());
    };
    allRed("drawn");
    EXPECT_EQ(ui().Shape1->geometry(), seriesFrame);
    for (QPushButton *turn : {ui().BitBtn3, ui().BitBtn1, ui().BitBtn2}) {
        turn->click();
        allRed(qPrintable(turn->objectName()));
    }
    form->resize(1000, 702);
    form->layout()->activate();
    allRed("window resized");

    // Opslaan writes the part inside the frame.
    const QString folder = program.folder() + "doel/";
    QDir().mkpath(folder);
    ui().doelmap->setText(folder);
    ui().fnedit->setText("deel");
    ui().bestandstype->setCurrentText(".BMP");
    ui().altijdfnvraag->setChecked(false);
    ui().herstart->setChecked(false);
    ui().save->setEnabled(true);
    ui().save->click();
    EXPECT_EQ(QImage(folder + "deel.BMP").size(), form->pictureToSave().size());

    ui().bidprentmode->setChecked(true);
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(form->pictureToSave().size(), form->picture().size());
    ui().bidprentmode->setChecked(false);
    allRed("back in plain mode");

    form->setPicture(page);   // a new scan or an opened file
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(form->pictureToSave().size(), QSize(400, 300));
}

// A picture whose copy takes seconds is turned beside the window, behind a busy window.
TEST_F(PreviewTest, LargePicture_ShouldBeTurnedBesideTheWindow)
{
    QImage page = plain(5000, 4001, Qt::white);
    page.setPixelColor(0, 0, Qt::red);
    form->setPicture(page);
    page = QImage();
    ui().BitBtn3->click();   // clockwise: the top left corner goes to the top right
    ASSERT_EQ(prompts.transcript().size(), 1u);
    EXPECT_EQ(prompts.transcript()[0].kind, "busy");
    EXPECT_EQ(form->picture().size(), QSize(4001, 5000));
    EXPECT_EQ(form->picture().pixelColor(4000, 0), QColor(Qt::red));
    EXPECT_EQ(probe().cleanScan(), form->picture());
}

TEST_F(PreviewTest, ResizingTheWindow_ShouldFitThePreviewAgain)
{
    form->setPicture(plain(400, 100, Qt::white));
    form->show();
    form->resize(1000, 702);
    form->layout()->activate();
    EXPECT_EQ(ui().Panel1->width(), 1000);
    EXPECT_EQ(ui().Image1->geometry(), QRect(0, (ui().Panel1->height() - 250) / 2, 1000, 250));
}

TEST_F(PreviewTest, ColourMenus_ShouldColourThePanelTheyWereOpenedOn)
{
    probe().popupPanel() = ui().vakkleur;
    probe().blackAction()->trigger();
    EXPECT_EQ(ui().vakkleur->colour(), 0);
    EXPECT_EQ(ui().achtergrondkleur->colour(), 0xFFFFFF);
    probe().popupPanel() = ui().achtergrondkleur;
    probe().blackAction()->trigger();
    EXPECT_EQ(ui().achtergrondkleur->colour(), 0);
    probe().whiteAction()->trigger();
    EXPECT_EQ(ui().achtergrondkleur->colour(), 0xFFFFFF);
    EXPECT_EQ(probe().whiteAction()->text(), "Wit");
    EXPECT_EQ(probe().blackAction()->text(), "Zwart");
    EXPECT_EQ(probe().backgroundAction()->text(), "Achtergrondkleur");
}

TEST_F(PreviewTest, VakkleurClick_ShouldTakeTheConfirmedColourOnly)
{
    prompts.answerCancel();
    form->vakkleurClick();
    EXPECT_EQ(ui().vakkleur->colour(), 255);
    EXPECT_EQ(prompts.transcript().back().value, QColor(255, 0, 0).name());

    prompts.answer({ModalResult::Ok, {}, QColor(0, 128, 255), {}});
    emit ui().vakkleur->clicked();
    EXPECT_EQ(ui().vakkleur->colour(), 255 * 65536 + 128 * 256);
}

TEST_F(PreviewTest, ButtonLayouts_ShouldResizeScanAndFitSaveBeforeSluiten)
{
    form->ShowScanPresentLayout();
    EXPECT_EQ(ui().Scanbut->width(), 75);
    EXPECT_EQ(ui().save->x(), 86);
    EXPECT_EQ(ui().save->width(), 191);
    EXPECT_TRUE(ui().save->isEnabled());
    EXPECT_TRUE(ui().scanachterkant->isEnabled());

    // After a save Scan grows, up to 220, as far as Opslaan keeps its caption
    // readable in the window's own font, also when the timer adds " scan".
    for (const char *caption : {"Opslaan", "Opslaan\r\n scan"}) {
        form->ShowSavedLayout();
        ui().save->setText(caption);
        FitCaption(ui().save);
        EXPECT_GT(ui().Scanbut->width(), 150);
        EXPECT_LE(ui().Scanbut->width(), 220);
        EXPECT_EQ(ui().save->x(), ui().Scanbut->x() + ui().Scanbut->width() + 3);
        EXPECT_EQ(ui().Cancelbut->x(), 280);
        EXPECT_EQ(ui().save->x() + ui().save->width(), 277);
        EXPECT_EQ(ui().save->font().pointSizeF(), ui().knoppanel->font().pointSizeF()) << caption;
        EXPECT_EQ(ui().save->toolTip(), "");
    }
    form->ShowSavedLayout();
    EXPECT_EQ(ui().save->text(), "Opslaan");
    ui().save->setText("Opslaan voor- en\r\nachterkanten van alle 33 scans");
    FitCaption(ui().save);
    EXPECT_EQ(ui().save->toolTip(), "Opslaan voor- en achterkanten van alle 33 scans");
}

TEST_F(PreviewTest, DetectionPanel_ShouldLeaveTheFrameOverTheSamePartOfThePicture)
{
    form->setPicture(quarters(400, 300));
    form->show();
    form->resize(800, 702);
    form->layout()->activate();
    const QRect before = ui().Image1->geometry();
    // Over the upper left quarter.
    ui().Shape1->setGeometry(before.x(), before.y(), before.width() / 2, before.height() / 2);
    ui().bidprentmode->setChecked(true);
    form->layout()->activate();
    const QRect after = ui().Image1->geometry();
    ASSERT_EQ(after.height(), before.height() - ui().Panel2->height());
    const QRect frame = ui().Shape1->geometry();
    EXPECT_EQ(frame.left(), after.left());
    EXPECT_NEAR(frame.right(), after.left() + after.width() / 2 - 1, 1);
    EXPECT_EQ(frame.top(), after.top());
    EXPECT_NEAR(frame.bottom(), after.top() + after.height() / 2 - 1, 1);
}

TEST_F(PreviewTest, LinkLabels_ShouldKeepABandOfTheirOwnBelowThePreview)
{
    ui().lbDravemont->setText("https://www.vexlo.nl/achter-de-schermen");
    ui().lbDravemont->show();
    form->setPicture(plain(100, 1000, Qt::white));
    form->anchorLinks();
    EXPECT_LE(ui().Image1->geometry().bottom(), ui().lbDravemont->y());
    EXPECT_FALSE(ui().Image1->geometry().intersects(ui().lbDravemont->geometry()));
}

TEST_F(PreviewTest, Timer_ShouldCaptionTheBackSideAndSaveButtonsForWhatComesNext)
{
    // In series mode the back sides still to scan are counted and Opslaan keeps
    // its text; otherwise Opslaan names what the next save writes, front and
    // back once a back side was scanned into the scan-present layout.
    const struct {
        bool series;
        int frontBoxCount, boxes;
        bool backSidePass, scanPresent;
        const char *scanachterkant, *save;
    } cases[] = {
        {true, 3, 0, false, false, "scan 3\r\nachterkanten", "blijft"},
        {true, 1, 0, false, false, "scan 1\r\nachterkant", "blijft"},
        {true, -1, 0, false, false, "scan\r\nachterkant", "blijft"},
        {false, 3, 0, false, false, "scan\r\nachterkant", "Opslaan\r\n scan"},   // the count is ignored
        {true, 0, 4, false, false, "scan\r\nachterkant", "Opslaan\r\n 4 scans"},
        {false, 0, 0, true, false, "scan\r\nachterkant", "Opslaan\r\n scan"},
        {false, 0, 0, true, true, "scan\r\nachterkant", "Opslaan voor- en\r\nachterkant"},
        {true, 3, 3, true, true, "scan 3\r\nachterkanten", "Opslaan 3 voor-\r\nen achterkanten"},
        // What Opslaan does: plain mode saves the one picture whatever boxes an
        // earlier series left; backs without confirmed fronts are saved alone.
        {false, 0, 4, false, false, "scan\r\nachterkant", "Opslaan\r\n scan"},
        {false, 0, 3, true, true, "scan\r\nachterkant", "Opslaan voor- en\r\nachterkant"},
        {true, 0, 3, true, true, "scan\r\nachterkant", "Opslaan\r\n 3 scans"},
        {true, 6, 6, false, true, "scan 6\r\nachterkanten", "Opslaan\r\n 6 scans"},
    };
    for (const auto &c : cases) {
        makeForm();
        ui().bidprentmode->setChecked(c.series);
        probe().frontBoxCount() = c.frontBoxCount;
        probe().boxes().resize(size_t(c.boxes));
        probe().backSidePass() = c.backSidePass;
        probe().joinedBackSide() = c.backSidePass && !c.series;   // a plain back is joined to its front
        if (c.scanPresent)
            form->ShowScanPresentLayout();
        ui().save->setText("blijft");
        form->Timer1Timer();
        EXPECT_EQ(ui().scanachterkant->text(), c.scanachterkant) << c.frontBoxCount << " " << c.save;
        EXPECT_EQ(ui().save->text(), c.save) << c.frontBoxCount << " " << c.boxes;
    }
}

TEST_F(PreviewTest, Timer_ShouldShowOpenFileOnlyWithAVisibleCheckedSeriesBox)
{
    form->Timer1Timer();
    EXPECT_TRUE(ui().openfileknop->isHidden());
    ui().bidprentmode->setChecked(true);
    form->Timer1Timer();
    EXPECT_TRUE(ui().openfileknop->isHidden());   // the box itself is still hidden
    ui().bidprentmode->setVisible(true);
    form->Timer1Timer();
    EXPECT_FALSE(ui().openfileknop->isHidden());
}

TEST_F(PreviewTest, Preview_ShouldRescaleOnlyWhenTheSizeOrThePictureChanges)
{
    PreviewImage preview;
    preview.resize(200, 100);
    preview.setPicture(quarters(2000, 1000));
    QImage target(200, 100, QImage::Format_RGB32);
    preview.render(&target);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 1);
    EXPECT_EQ(target.pixelColor(150, 25), QColor(0, 255, 0));
    EXPECT_EQ(target.pixelColor(50, 75), QColor(0, 0, 255));

    // Boxes over the picture shown are painted over its scaled copy, drawn into
    // the picture once it is read, and gone when the clean picture is set again.
    const QImage clean = preview.picture();
    const ScanBoxList boxes{{200, 100, 800, 400}};
    preview.setPictureWithBoxes(clean, boxes, 1, 1, 0xFFFFFF);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 1);
    EXPECT_EQ(target.pixelColor(20, 25), QColor(Qt::white));   // the left edge, x 200 of 2000
    EXPECT_EQ(target.pixelColor(30, 25), QColor(255, 0, 0));
    EXPECT_EQ(preview.picture(), PreviewWithBoxes(clean, boxes, 1, 1, 0xFFFFFF));
    preview.setPicture(clean);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 1);
    EXPECT_EQ(target.pixelColor(20, 25), QColor(255, 0, 0));

    preview.resize(100, 50);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 2);
    preview.picture().fill(Qt::black);   // edited in place
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 3);
    EXPECT_EQ(target.pixelColor(10, 10), QColor(Qt::black));

    // A half turn turns the scaled copy along; a turn it was not told of is scaled afresh.
    preview.resize(200, 100);
    preview.setPicture(quarters(2000, 1000));
    preview.render(&target);
    const qint64 before = preview.picture().cacheKey();
    RotateHalf(preview.picture());
    preview.pictureTurned(before, 2);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 4);
    EXPECT_EQ(target.pixelColor(150, 25), QColor(0, 0, 255));
    EXPECT_EQ(target.pixelColor(50, 75), QColor(0, 255, 0));
    RotateHalf(preview.picture());
    preview.pictureTurned(before, 2);
    preview.render(&target);
    EXPECT_EQ(preview.scaleCount(), 5);
    EXPECT_EQ(target.pixelColor(150, 25), QColor(0, 255, 0));

    // A quarter turn clockwise shown at its new size, from what was kept of the picture.
    const qint64 upright = preview.picture().cacheKey();
    RotateQuarterRight(preview.picture());
    preview.pictureTurned(upright, 1);
    preview.resize(50, 100);
    preview.render(&target);
    EXPECT_EQ(target.pixelColor(12, 25), QColor(0, 0, 255));
    EXPECT_EQ(target.pixelColor(37, 25), QColor(255, 0, 0));
    EXPECT_EQ(target.pixelColor(12, 75), QColor(10, 20, 30));
    EXPECT_EQ(target.pixelColor(37, 75), QColor(0, 255, 0));
}

// A turn that takes long runs under the busy cursor, and the window paints
// whenever it is asked to meanwhile (as when another window is moved over it).
TEST_F(PreviewTest, LongTurn_ShouldShowTheBusyCursorAndKeepPainting)
{
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    form->show();
    form->setPicture(plain(8000, 6000, Qt::white));
    ui().Image1->installEventFilter(&counter);
    QApplication::processEvents();
    bool busyCursor = false;
    QTimer exposed;
    exposed.setInterval(10);
    QObject::connect(&exposed, &QTimer::timeout, [&] {
        busyCursor |= QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        ui().Image1->update();
    });
    exposed.start();
    counter.paints = 0;
    QElapsedTimer took;
    took.start();
    ui().BitBtn3->click();
    const double seconds = took.nsecsElapsed() / 1e9;
    const int paints = counter.paints;
    exposed.stop();
    EXPECT_EQ(form->picture().size(), QSize(6000, 8000));
    EXPECT_TRUE(busyCursor);
    EXPECT_GE(paints / seconds, 5.0) << paints << " paints in " << seconds << " s";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(TextSpinEditTest, ShouldKeepAnyText_AndStepFromTheNumberWithinItsLimits)
{
    TextSpinEdit spin;
    spin.setMinimum(50);
    spin.setMaximum(3600);
    spin.setSingleStep(50);
    int steps = 0;
    QObject::connect(&spin, &TextSpinEdit::stepped, [&] { ++steps; });
    spin.setText("abc");
    EXPECT_EQ(spin.text(), "abc");
    spin.stepBy(1);
    EXPECT_EQ(spin.text(), "100");
    spin.setText("3590");
    spin.stepBy(1);
    EXPECT_EQ(spin.text(), "3600");
    spin.stepBy(-100);
    EXPECT_EQ(spin.text(), "50");
    EXPECT_EQ(steps, 3);

    TextSpinEdit free;   // no limits
    free.setText("-5");
    free.stepBy(-1);
    EXPECT_EQ(free.text(), "-6");

    // The number a spin edit stands for: held to its limits; limits both 0 are none.
    const struct {
        int min, max;
        const char *text;
        int value;
    } cases[] = {
        {50, 3600, "abc", 50}, {50, 3600, "5000", 3600}, {0, 255, "-3", 0},
        {0, 0, "-7", -7},      {0, 0, "x", 0},           {5, 5, "9", 5},   // a fixed non-zero limit holds
    };
    for (const auto &c : cases) {
        TextSpinEdit edit;
        edit.setMinimum(c.min);
        edit.setMaximum(c.max);
        edit.setText(c.text);
        EXPECT_EQ(edit.limitedValue(), c.value) << c.min << ".." << c.max << " " << c.text;
    }
}

TEST(RadioGroupTest, ShouldReportEachRealChangeOnce)
{
    RadioGroup group;
    new QRadioButton("Rechts", &group);
    new QRadioButton("Onder", &group);
    group.bindButtons();
    QList<int> reported;
    QObject::connect(&group, &RadioGroup::itemIndexChanged, [&](int i) { reported << i; });
    group.setItemIndex(1);
    group.setItemIndex(1);
    group.setItemIndex(0);
    group.setItemIndex(7);
    group.setItemIndex(-1);
    EXPECT_EQ(reported, (QList<int>{1, 0, -1}));
    EXPECT_EQ(group.itemIndex(), -1);
}
