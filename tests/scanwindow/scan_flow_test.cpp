// Scanning into the preview through both scan buttons.
#include "scan_fixture.h"
#include "common/log_capture.h"

#include "imaging/picture_file.h"

#include <QFile>
#include <QFileInfo>
#include <new>
#include <stdexcept>
#include <system_error>

class ScanTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        // The window's own handlers that the flow passes through are other
        // modules' business; here only the picture and the flags matter.
        ui().bidprentmode->setChecked(false);
    }
    void scanFront(const QImage &img)
    {
        scanner.image = img;
        ui().Scanbut->click();
    }
};

TEST_F(ScanTest, FrontScan_ShouldBringThePictureIntoThePreviewAndTheCleanScan)
{
    scanFront(quarters(300, 200));
    EXPECT_EQ(form->picture().size(), QSize(300, 200));
    EXPECT_EQ(form->picture().pixelColor(10, 10), QColor(255, 0, 0));
    EXPECT_EQ(probe().cleanScan(), form->picture());
    EXPECT_FALSE(probe().backSidePass());
    EXPECT_FALSE(probe().joinedBackSide());
    EXPECT_EQ(ui().Scanbut->width(), 75);
    EXPECT_TRUE(ui().scanachterkant->isEnabled());
    EXPECT_EQ(ui().Image1->width(), ui().Panel1->width() < ui().Panel1->height() * 3 / 2
                                         ? ui().Panel1->width()
                                         : ui().Panel1->height() * 3 / 2);
    EXPECT_EQ(form->result(), 0);
    EXPECT_TRUE(prompts.transcript().empty());
    // Front side at dpi, dialog hidden when metui is unchecked.
    EXPECT_EQ(scanner.resolutions, QList<double>{600});
    EXPECT_TRUE(scanner.calls.contains("SetHideUI 0"));
}

TEST_F(ScanTest, OwnScanApplicationOff_ShouldHideTheScannersDialog)
{
    ui().metui->setChecked(false);
    scanFront(plain(10, 10, Qt::white));
    EXPECT_TRUE(scanner.calls.contains("SetHideUI 1"));
}

TEST_F(ScanTest, Version113_ShouldScanWithoutOpeningOrSettingTheResolution)
{
    scanner.version = 113;
    scanFront(plain(20, 10, Qt::white));
    EXPECT_EQ(form->picture().size(), QSize(20, 10));
    EXPECT_FALSE(scanner.calls.contains("OpenDefaultSource"));
    EXPECT_TRUE(scanner.resolutions.isEmpty());
}

TEST_F(ScanTest, NonNumericResolution_ShouldScanAt300)
{
    ui().dpi->setText("abc");
    scanFront(plain(20, 10, Qt::white));
    EXPECT_EQ(scanner.resolutions, QList<double>{300});
    ui().dpiachter->setText("");
    scanner.image = plain(20, 10, Qt::white);
    ui().scanachterkant->click();
    EXPECT_EQ(scanner.resolutions, (QList<double>{300, 300}));
}

TEST_F(ScanTest, BackSideOutsideSeries_ShouldShowTheJoinedPictureAndKeepOnlyTheBackAsCleanScan)
{
    scanFront(plain(100, 140, Qt::red));
    ui().dpiachter->setText("150");
    scanner.image = plain(100, 150, Qt::blue);
    ui().scanachterkant->click();

    EXPECT_EQ(scanner.resolutions.last(), 150);
    EXPECT_TRUE(probe().backSidePass());
    EXPECT_TRUE(probe().joinedBackSide());
    EXPECT_EQ(form->picture().size(), QSize(200, 150));
    EXPECT_EQ(form->picture().pixelColor(50, 70), QColor(Qt::red));
    EXPECT_EQ(form->picture().pixelColor(150, 70), QColor(Qt::blue));
    EXPECT_EQ(form->picture().pixelColor(50, 145), QColor(Qt::white));
    EXPECT_EQ(probe().cleanScan().size(), QSize(100, 150));
    EXPECT_EQ(probe().cleanScan().pixelColor(50, 70), QColor(Qt::blue));

    // The next front scan is a plain scan again.
    scanFront(plain(30, 30, Qt::green));
    EXPECT_FALSE(probe().backSidePass());
    EXPECT_FALSE(probe().joinedBackSide());
    EXPECT_EQ(form->picture().size(), QSize(30, 30));
}

TEST_F(ScanTest, BackSideBelow_ShouldGoUnderTheFront)
{
    scanFront(plain(100, 140, Qt::red));
    ui().achterkantgroep->setItemIndex(1);
    scanner.image = plain(100, 150, Qt::blue);
    ui().scanachterkant->click();
    EXPECT_EQ(form->picture().size(), QSize(100, 290));
    EXPECT_EQ(form->picture().pixelColor(50, 200), QColor(Qt::blue));
}

TEST_F(ScanTest, NoScanner_ShouldSelectASourceThenReportAndCancelTheWindow)
{
    scanner.available = 0;
    form->show();
    ui().Scanbut->click();
    EXPECT_TRUE(scanner.calls.contains("SelectImageSource"));
    EXPECT_EQ(prompts.texts(), (QStringList{"1 Geen scanner geselecteerd",
                                            "Vexlo kan geen scanner vinden, of heeft te weinig geheugen om te scannen."}));
    EXPECT_EQ(ModalResult(form->result()), ModalResult::Cancel);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(scanner.calls.contains("AcquireToFilename"));
}

TEST_F(ScanTest, ScannerGoneAfterHidingItsDialog_ShouldReportProblemsThenEnd)
{
    int asked = 0;
    struct Flaky : FakeScanner {
        int *asked;
        int IsAvailable() override { return ++*asked <= 2 ? 1 : 0; }
    };
    Flaky flaky;
    flaky.asked = &asked;
    ui().Scanbut->click();
    EXPECT_EQ(prompts.texts(), (QStringList{"Problemen met de scanner.",
                                            "Vexlo kan geen scanner vinden, of heeft te weinig geheugen om te scannen."}));
    EXPECT_EQ(ModalResult(form->result()), ModalResult::Cancel);
}

// What the library throws is logged and said with its reason before the window gives up.
TEST_F(ScanTest, FailingAcquisition_ShouldSayWhyLogItAndCancelTheWindow)
{
    const struct {
        std::exception_ptr failure;
        const char *reason;
    } cases[] = {
        {std::make_exception_ptr(std::bad_alloc()), "te weinig geheugen"},
        {std::make_exception_ptr(std::system_error(EACCES, std::generic_category())),
         "het systeem weigerde: Toegang geweigerd"},
        {std::make_exception_ptr(std::runtime_error("scanner jammed")), "onverwachte fout: scanner jammed"},
    };
    for (const auto &c : cases) {
        LogCapture log;
        const int before = int(prompts.texts().size());
        scanner.acquireFailure = c.failure;
        ui().Scanbut->click();
        const QString said = QString("De scanner kon niet worden bediend (scannen): %1.").arg(c.reason);
        EXPECT_EQ(prompts.texts().mid(before),
                  (QStringList{said, "Vexlo kan geen scanner vinden, of heeft te weinig geheugen om te scannen."}));
        EXPECT_EQ(log.lines(), QStringList{said});
        EXPECT_EQ(ModalResult(form->result()), ModalResult::Cancel);
    }
}

TEST_F(ScanTest, WrongLibraryOnOpening_ShouldSayItAndStillScan)
{
    scanner.throwOnOpen = true;
    scanFront(plain(20, 10, Qt::white));
    EXPECT_EQ(prompts.texts(), QStringList{"Niet de juiste EZTW32.DLL: "});
    EXPECT_EQ(form->picture().size(), QSize(20, 10));
}

TEST_F(ScanTest, CancelledScan_ShouldKeepPictureCleanScanBoxesAndFlags_AndTheWindowOpen)
{
    scanFront(plain(100, 140, Qt::red));
    scanner.image = plain(100, 150, Qt::blue);
    ui().scanachterkant->click();
    const QImage joined = form->picture();
    const QImage back = probe().cleanScan();
    probe().boxes() = {{1, 2, 3, 4}};
    probe().frontBoxes() = {{5, 6, 7, 8}};

    // The user cancels in the scanner's dialog: the library leaves the old file.
    scanner.image = QImage();
    form->show();
    ui().Scanbut->click();
    EXPECT_EQ(form->picture(), joined);
    EXPECT_EQ(probe().cleanScan(), back);
    EXPECT_TRUE(probe().backSidePass());
    EXPECT_TRUE(probe().joinedBackSide());
    EXPECT_EQ(probe().boxes().size(), 1u);
    EXPECT_EQ(probe().frontBoxes().size(), 1u);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(prompts.transcript().empty());
}

TEST_F(ScanTest, CancelledFirstScan_WithNoFileAtAll_ShouldLeaveTheWindowWithoutPicture)
{
    ASSERT_FALSE(QFileInfo::exists(PreviewFilePath));
    ui().Scanbut->click();
    EXPECT_TRUE(form->picture().isNull());
    EXPECT_FALSE(ui().save->isEnabled());
    EXPECT_EQ(ui().Scanbut->width(), 121);
    EXPECT_EQ(form->result(), 0);
}

TEST_F(ScanTest, UnreadableScanFile_ShouldAskToDeleteIt_AndLeaveAnEmptyPicture)
{
    scanFront(plain(20, 10, Qt::white));
    scanner.rawFile = "garbage, not a bitmap";
    prompts.answerYes();
    ui().Scanbut->click();
    ASSERT_EQ(prompts.transcript().size(), 1u);
    const PromptRecord &q = prompts.transcript()[0];
    EXPECT_EQ(q.kind, "yesno");
    EXPECT_EQ(q.caption, "Scanfout");
    EXPECT_EQ(q.text, "kan bestand" + PreviewFilePath + " niet openen, Verwijderen ?");
    EXPECT_EQ(q.defaultChoice, ModalResult::No);   // deleting a scan is never the default
    EXPECT_FALSE(QFileInfo::exists(PreviewFilePath));
    EXPECT_TRUE(form->picture().isNull());
    EXPECT_EQ(form->result(), 0);
}

TEST_F(ScanTest, ScanTooBigForThisMachine_ShouldBeKeptWithANotice)
{
    SetPictureByteLimit(qint64(2) << 20);
    scanFront(plain(1000, 1000, Qt::white));
    SetPictureByteLimit(0);
    ASSERT_EQ(prompts.texts(), QStringList{TooLargeNotice(PreviewFilePath)});
    EXPECT_TRUE(QFileInfo::exists(PreviewFilePath));
    EXPECT_TRUE(form->picture().isNull());
}

TEST_F(ScanTest, SelectSource_ShouldAskTheLibraryAndReturnToTheFileName)
{
    form->show();
    ui().selsource->click();
    EXPECT_EQ(scanner.calls.filter("SelectImageSource").size(), 1);
}

TEST_F(ScanTest, SeriesMode_ShouldHandEachScanToHerverdeel_AndNeverJoinTheBackSide)
{
    ui().bidprentmode->setChecked(true);
    QImage card = plain(400, 300, Qt::white);
    QPainter(&card).fillRect(100, 80, 120, 90, QColor(40, 60, 90));
    for (int i = 0; i < 4; ++i)
        prompts.answerNo();
    scanFront(card);
    const size_t afterFront = prompts.transcript().size();
    ASSERT_GE(afterFront, 1u);
    EXPECT_TRUE(prompts.texts().filter("In orde ?").size() >= 1) << prompts.texts().join('|').toStdString();

    scanner.image = plain(200, 150, Qt::white);
    ui().scanachterkant->click();
    EXPECT_GT(prompts.transcript().size(), afterFront);
    EXPECT_TRUE(probe().backSidePass());
    EXPECT_FALSE(probe().joinedBackSide());
    EXPECT_EQ(probe().cleanScan().size(), QSize(200, 150));
}

TEST_F(ScanTest, PressDuringAScan_ShouldNotStartASecondScan)
{
    struct Impatient : FakeScanner {
        TScanform *form = nullptr;
        int AcquireToFilename(void *w, const QString &path) override
        {
            // The user presses Scan again while the first scan runs.
            form->controls().Scanbut->click();
            return FakeScanner::AcquireToFilename(w, path);
        }
    } impatient;
    impatient.form = form.get();
    impatient.image = plain(20, 10, Qt::white);
    ui().Scanbut->click();
    EXPECT_EQ(impatient.calls.filter("AcquireToFilename").size(), 1);
    EXPECT_EQ(form->picture().size(), QSize(20, 10));
    EXPECT_FALSE(probe().scanning());
}
