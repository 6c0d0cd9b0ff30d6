// Naming and saving in the scan window, as a conversation with the user.
#include "scan_fixture.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "detection/scanbox.h"
#include "dialogs/meldform.h"
#include "dialogs/seldir.h"
#include "fakes/file_bytes.h"
#include "ui_seldirform.h"
#include "scanwindow/file_naming.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>

#include <memory>
#include <sys/mount.h>
#include <thread>

namespace {

bool isJpeg(const QByteArray &bytes) { return bytes.startsWith("\xFF\xD8"); }

struct AfterSaveCall {
    QString path, folder;
    bool small;
};

class SaveTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        folder = program.folder() + "scans";
        QDir().mkpath(folder);
        probe().nextFileName() = NextFileName;
        probe().defaultFileName() = [](const QString &) { return QStringLiteral("document.JPG"); };
        probe().afterSave() = [this](const QString &path, const QString &f, bool small) {
            afterSaves.push_back({path, f, small});
            return true;
        };
        form->setPicture(quarters(40, 30));
        ui().doelmap->setText(folder);
        ui().fnedit->setText("document");
        ui().numdig->setText("3");
        ui().bestandstype->setCurrentIndex(0);
        form->setWindowTitle("Vexlo Scan Tool 4.2");
    }

    void save(QObject *sender = nullptr) { form->SaveClick(sender); }
    QString in(const QString &name) const { return folder + '/' + name; }
    QStringList kinds() const
    {
        QStringList out;
        for (const auto &r : prompts.transcript())
            out << r.kind;
        return out;
    }

    QString folder;
    std::vector<AfterSaveCall> afterSaves;
};

TEST_F(SaveTest, NextNameCaptionFollowsNameAndDigitCount)
{
    ui().fnedit->setText("scan009.jpg");
    EXPECT_EQ(ui().zetdoor->text(), "Volgende wordt: scan010.jpg");

    ui().fnedit->setText("doc");
    ui().numdig->setText("0");   // at least one digit
    EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: doc1");
    ui().numdig->setText("abc");
    EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: doc1");
    ui().numdig->setText("7");   // above the spin limit, used as typed
    EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: doc0000001");

    ui().fnedit->setText("");    // an empty name leaves the caption alone ...
    EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: doc0000001");
    form->numdigClick();         // ... but the digit control shows the default name
    EXPECT_EQ(ui().zetdoor->text(), "volgende wordt: document");
}

TEST_F(SaveTest, QualitySliderShowsOnlyForTheFirstType)
{
    ui().bestandstype->setCurrentIndex(1);
    EXPECT_TRUE(ui().TrackBar1->isHidden());
    ui().bestandstype->setCurrentIndex(0);
    EXPECT_FALSE(ui().TrackBar1->isHidden());
    ui().bestandstype->setEditText(".png");
    EXPECT_TRUE(ui().TrackBar1->isHidden());
}

TEST_F(SaveTest, ThreeSavesIntoAFreshFolderAreNumberedWithTheirText)
{
    folder = program.folder() + "nieuw";
    ui().doelmap->setText(folder);

    save(ui().save);
    EXPECT_TRUE(isJpeg(readAll(in("document.JPG"))));
    EXPECT_EQ(ui().fnedit->text(), "document001");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), in("document.JPG"));

    ui().Memo1->setPlainText("Johanna de Vries\n* 1901 Zwolle\n");
    save(ui().save);
    EXPECT_TRUE(isJpeg(readAll(in("document001.JPG"))));
    EXPECT_EQ(readAll(in("document001.txt")), QByteArray("Johanna de Vries\r\n* 1901 Zwolle\r\n"));
    EXPECT_TRUE(ui().Memo1->toPlainText().isEmpty());

    save(ui().save);
    EXPECT_TRUE(isJpeg(readAll(in("document002.JPG"))));
    EXPECT_FALSE(QFile::exists(in("document002.txt")));
    EXPECT_EQ(ui().fnedit->text(), "document003");

    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              QStringList({"document.JPG", "document001.JPG", "document001.txt", "document002.JPG"}));
    ASSERT_EQ(afterSaves.size(), 3u);
    EXPECT_EQ(afterSaves[2].path, in("document002.JPG"));
    EXPECT_EQ(afterSaves[2].folder, folder);
    EXPECT_TRUE(afterSaves[2].small);
    // The saved file's name stays in the title long enough to be read.
    EXPECT_EQ(form->windowTitle(), in("document002.JPG") + " opgeslagen");
    auto *titleTimer = form->findChild<QTimer *>("savedTitleTimer");
    ASSERT_NE(titleTimer, nullptr);
    EXPECT_GE(titleTimer->interval(), 2000);
    titleTimer->start(0);   // the while passes
    while (titleTimer->isActive())
        QCoreApplication::processEvents();
    EXPECT_EQ(form->windowTitle(), "Vexlo Scan Tool 4.2");
    EXPECT_GT(ui().Scanbut->width(), 150);   // the layout after saving: Scan wide
    EXPECT_TRUE(prompts.transcript().empty());
}

TEST_F(SaveTest, NameExtensionIsReplacedByTheTypeAndSpacesAreTrimmedForTheFileOnly)
{
    ui().fnedit->setText("scan.old.jpg");
    ui().bestandstype->setCurrentIndex(2);   // ".TIF"
    save();
    EXPECT_TRUE(QFile::exists(in("scan.old.TIF")));
    EXPECT_EQ(ui().fnedit->text(), "scan.old001.jpg");

    ui().fnedit->setText("scan ");
    ui().bestandstype->setCurrentIndex(0);
    save();
    EXPECT_TRUE(QFile::exists(in("scan.JPG")));
    EXPECT_EQ(ui().fnedit->text(), "scan 001");
}

TEST_F(SaveTest, QualityZeroIsASuccessfulSave)
{
    ui().TrackBar1->setValue(0);
    save();
    EXPECT_TRUE(isJpeg(readAll(in("document.JPG"))));
    EXPECT_EQ(ui().fnedit->text(), "document001");
    EXPECT_TRUE(prompts.transcript().empty());
    ASSERT_EQ(afterSaves.size(), 1u);
}

TEST_F(SaveTest, LargePictureIsNotSmall)
{
    form->setPicture(plain(1500, 1000, Qt::white));   // exactly 1500000 pixels
    save();
    ASSERT_EQ(afterSaves.size(), 1u);
    EXPECT_FALSE(afterSaves[0].small);
}

TEST_F(SaveTest, YesOverwritesTheExistingFile)
{
    writeAll(in("document.JPG"), "oud");
    prompts.answerYes();
    save();
    ASSERT_EQ(prompts.transcript().size(), 1u);
    const PromptRecord &q = prompts.transcript()[0];
    EXPECT_EQ(q.kind, "yesno");
    EXPECT_EQ(q.caption, "Opslaan");
    EXPECT_EQ(q.text, in("document.JPG") + " bestaat al, overschrijven ?");
    EXPECT_EQ(q.defaultChoice, ModalResult::Yes);
    EXPECT_TRUE(isJpeg(readAll(in("document.JPG"))));
    EXPECT_EQ(ui().fnedit->text(), "document001");
}

TEST_F(SaveTest, NoThenAPathInAnotherFolderSavesThereWithItsText)
{
    QString other = program.folder() + "ander";
    QDir().mkpath(other);
    writeAll(in("document.JPG"), "oud");
    ui().Memo1->setPlainText("achterkant: gebed");
    prompts.answerNo();
    prompts.answerOk(other + "/kaart.JPG");
    save();

    ASSERT_EQ(kinds(), QStringList({"yesno", "input"}));
    const PromptRecord &rename = prompts.transcript()[1];
    EXPECT_EQ(rename.caption, "verander bestandsnaam ?");
    EXPECT_EQ(rename.text, "nu:");
    EXPECT_EQ(rename.value, in("document.JPG"));

    EXPECT_EQ(readAll(in("document.JPG")), QByteArray("oud"));
    EXPECT_TRUE(isJpeg(readAll(other + "/kaart.JPG")));
    EXPECT_EQ(readAll(other + "/kaart.txt"), QByteArray("achterkant: gebed\r\n"));
    EXPECT_FALSE(QFile::exists(in("document.txt")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), other + "/kaart.JPG");
    EXPECT_EQ(ui().fnedit->text(), "document001");
}

TEST_F(SaveTest, RenamedPathThatExistsTooIsAskedAgain)
{
    writeAll(in("document.JPG"), "oud");
    writeAll(in("tweede.JPG"), "ook oud");
    prompts.answerNo();
    prompts.answerOk(in("tweede.JPG"));
    prompts.answerNo();
    prompts.answerOk(in("derde.JPG"));
    save();
    EXPECT_EQ(kinds(), QStringList({"yesno", "input", "yesno", "input"}));
    EXPECT_EQ(readAll(in("tweede.JPG")), QByteArray("ook oud"));
    EXPECT_TRUE(isJpeg(readAll(in("derde.JPG"))));
}

TEST_F(SaveTest, CancelInTheRenameDialogSavesNothing)
{
    writeAll(in("document.JPG"), "oud");
    ui().Memo1->setPlainText("tekst");
    int scanWidth = ui().Scanbut->width();
    prompts.answerNo();
    prompts.answerCancel();
    save(ui().save);
    EXPECT_EQ(readAll(in("document.JPG")), QByteArray("oud"));
    EXPECT_EQ(ui().fnedit->text(), "document");
    EXPECT_EQ(ui().Memo1->toPlainText(), "tekst");
    EXPECT_EQ(form->windowTitle(), "Vexlo Scan Tool 4.2");
    EXPECT_EQ(ui().Scanbut->width(), scanWidth);
    EXPECT_TRUE(afterSaves.empty());
}

TEST_F(SaveTest, AlwaysAskShowsTheSuggestionAndTakesTheEditedPath)
{
    ui().altijdfnvraag->setChecked(true);
    prompts.answerOk(in("naam met spatie.JPG"));
    save();
    ASSERT_EQ(kinds(), QStringList({"input"}));
    EXPECT_EQ(prompts.transcript()[0].caption, "Gaat u akkoord met deze bestandsnaam ?");
    EXPECT_EQ(prompts.transcript()[0].text, "Suggestie:");
    EXPECT_EQ(prompts.transcript()[0].value, in("document.JPG"));
    EXPECT_TRUE(isJpeg(readAll(in("naam met spatie.JPG"))));

    prompts.answerCancel();
    save();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"naam met spatie.JPG"}));
}

TEST_F(SaveTest, WithoutRaisingTheNumberTheNameReturnsToDocument)
{
    ui().zetdoor->setChecked(false);
    ui().fnedit->setText("kaart005");
    save();
    EXPECT_TRUE(QFile::exists(in("kaart005.JPG")));
    EXPECT_EQ(ui().fnedit->text(), "document");
}

TEST_F(SaveTest, FailedSaveKeepsNameTextClipboardAndTheOldFile)
{
    QGuiApplication::clipboard()->setText("eerder");
    ui().bestandstype->setEditText(".qqq");   // no picture format
    writeAll(in("document.qqq"), "oud");
    ui().Memo1->setPlainText("tekst");
    prompts.answerYes();     // overwrite
    prompts.answerOk();      // the message window
    save();

    EXPECT_EQ(readAll(in("document.qqq")), QByteArray("oud"));
    ASSERT_FALSE(prompts.transcript().empty());
    const PromptRecord &message = prompts.transcript().back();
    EXPECT_EQ(message.text, "meldform");
    ASSERT_NE(MessageWindow(), nullptr);
    EXPECT_EQ(MessageWindow()->melding->toPlainText(), "Opslaan " + in("document.qqq") + " mislukt: Probeer een andere naam");
    EXPECT_EQ(ui().fnedit->text(), "document");
    EXPECT_EQ(ui().Memo1->toPlainText(), "tekst");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "eerder");
    EXPECT_TRUE(afterSaves.empty());
    EXPECT_EQ(form->windowTitle(), "Vexlo Scan Tool 4.2");
}

TEST_F(SaveTest, FolderThatCannotBeMadeIsReportedAndNothingIsSaved)
{
    QString missing = program.folder() + "a/b";
    ui().doelmap->setText(missing);
    save(ui().save);
    ASSERT_EQ(kinds(), QStringList({"notice"}));
    EXPECT_EQ(prompts.transcript()[0].text, "Kan " + missing + " niet openen of maken. document niet opgeslagen.");
    EXPECT_FALSE(QDir(missing).exists());
    EXPECT_EQ(ui().fnedit->text(), "document");
    EXPECT_TRUE(afterSaves.empty());
}

TEST_F(SaveTest, ResolutionWrittenIsTheScansOwnElseTheDpiValue)
{
    ui().bestandstype->setCurrentIndex(1);   // BMP keeps the resolution in its header
    ui().dpi->setText("300");
    save();
    QImage saved(in("document.BMP"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_NEAR(saved.dotsPerMeterX() / 39.37, 300.0, 1.0);

    ui().dpi->setText("zes");   // no number: the spin edit's lowest value
    save();
    QImage second(in("document001.BMP"));
    ASSERT_FALSE(second.isNull());
    EXPECT_NEAR(second.dotsPerMeterX() / 39.37, 50.0, 1.0);

    // A scan made at 300 dpi in the scanner's own dialog is labelled 300, not 600.
    ui().bidprentmode->setChecked(false);
    ui().dpi->setText("600");
    scanner.deliveredDpi = 300;
    scanner.image = quarters(40, 30);
    ui().Scanbut->click();
    save();
    QImage scanned(in("document002.BMP"));
    ASSERT_FALSE(scanned.isNull());
    EXPECT_NEAR(scanned.dotsPerMeterX() / 39.37, 300.0, 1.0);
}

TEST_F(SaveTest, BrowseTakesOnlyTheFileName)
{
    prompts.answerOk("/elders/kaart.BMP");
    form->BrowseClick();
    EXPECT_EQ(ui().fnedit->text(), "kaart.BMP");
    EXPECT_EQ(ui().doelmap->text(), folder);
    EXPECT_EQ(prompts.transcript()[0].kind, "save");
    EXPECT_EQ(prompts.transcript()[0].value, folder);

    prompts.answerCancel();
    form->BrowseClick();
    EXPECT_EQ(ui().fnedit->text(), "kaart.BMP");
}

TEST_F(SaveTest, FolderButtonUsesTheFolderDialogWithTheBaseFolder)
{
    QString inner = folder + "/familie";
    QDir().mkpath(inner);
    probe().dialogBaseFolder() = folder;
    PromptAnswer a;
    a.act = [&](QDialog &d) {
        auto &dialog = static_cast<Tseldirform &>(d);
        EXPECT_EQ(dialog.captionText, "Selecteer doelmap");
        EXPECT_EQ(dialog.baseFolder, folder);
        dialog.ui->DirectoryListBox1->setDirectory(inner);
        dialog.okClick();
    };
    prompts.answer(a);
    QString cwd = QDir::currentPath();
    form->selbasislocClick();
    QDir::setCurrent(cwd);
    EXPECT_EQ(ui().doelmap->text(), inner + '/');

    prompts.answerCancel();
    form->selbasislocClick();
    QDir::setCurrent(cwd);
    EXPECT_EQ(ui().doelmap->text(), inner + '/');
}

TEST_F(SaveTest, SeriesSaveWritesEveryBoxInsteadOfTheWholePicture)
{
    ui().bidprentmode->setChecked(true);
    probe().cleanScan() = form->picture();
    probe().boxes() = {ScanBox{0, 0, 20, 15}, ScanBox{20, 15, 40, 30}};
    form->SaveClick(ui().Scanbut);
    QImage first(in("document.JPG"));
    QImage second(in("document001.JPG"));
    ASSERT_FALSE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_LT(first.width(), 40);
    EXPECT_LT(second.width(), 40);
    EXPECT_FALSE(QFile::exists(in("document002.JPG")));
    EXPECT_EQ(ui().fnedit->text(), "document002");
}

}

TEST_F(SaveTest, SeriesCardsUnderOneNameStillAskBeforeOverwriting)
{
    // Cards are encoded while the next one is cut out: the second card must
    // still find the first one's file and ask, and afterSave hears of each file.
    ui().bidprentmode->setChecked(true);
    ui().zetdoor->setChecked(false);
    probe().cleanScan() = form->picture();
    probe().boxes() = {ScanBox{0, 0, 20, 15}, ScanBox{20, 15, 40, 30}};
    prompts.answerYes();
    form->SaveClick(ui().Scanbut);
    EXPECT_EQ(prompts.texts(), (QStringList{"Kaart %1 van %2 opgeslagen", in("document.JPG") + " bestaat al, overschrijven ?"}));
    ASSERT_EQ(afterSaves.size(), 2u);
    EXPECT_EQ(QImage(in("document.JPG")).size(), QSize(20, 15));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"document.JPG"});
}

namespace {

QImage noise(int w, int h)
{
    QImage img(w, h, QImage::Format_BGR888);
    quint32 s = 7;
    for (int y = 0; y < h; ++y)
        for (uchar *p = img.scanLine(y), *end = p + 3 * w; p < end; ++p)
            *p = uchar((s = s * 1664525u + 1013904223u) >> 24);
    return img;
}

// A folder where a picture cannot be written but a short text can: a tmpfs with
// 8 KB left (the system says ENOSPC), or else a file size limit (EFBIG).
struct FullDisk {
    FullDisk(const QString &folder, bool mounted)
    {
        QDir().mkpath(folder);
        if (mounted && ::mount("tmpfs", NativePath(folder).constData(), "tmpfs", 0, "size=64k") == 0) {
            mountPoint = NativePath(folder);
            writeAll(folder + "/.vulling", QByteArray(56 * 1024, 'x'));
        } else if (!mounted) {
            limit = std::make_unique<TinyFileLimit>(200);
        }
    }
    ~FullDisk()
    {
        limit.reset();
        if (!mountPoint.isEmpty())
            ::umount2(mountPoint.constData(), MNT_DETACH);
    }
    bool ready() const { return limit || !mountPoint.isEmpty(); }
    QByteArray mountPoint;
    std::unique_ptr<TinyFileLimit> limit;
};

} // namespace

TEST_F(SaveTest, FullDisk_ShouldWriteNoTextForAFailedPictureKeepTheTextAndAskOnceToStopASeries)
{
    struct Case {
        const char *what;
        int boxes;               // 0: a plain save
        bool stop;               // the answer to the one question of a series
    };
    const Case cases[] = {{"plain", 0, false}, {"series, goes on", 4, false}, {"series, stops", 12, true}};
    form->setPicture(noise(480, 360));
    int run = 0;
    for (const bool mounted : {false, true})
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (mounted ? ", full tmpfs" : ", file size limit"));
            const QString here = folder + QString("/vol%1").arg(run++);
            FullDisk disk(here, mounted);
            if (!disk.ready()) {
                std::printf("no tmpfs can be mounted here: the ENOSPC case is left out\n");
                continue;
            }
            ui().doelmap->setText(here);
            ui().fnedit->setText("kaart001");
            ui().Memo1->setPlainText("tekst");
            ui().bidprentmode->setChecked(c.boxes > 0);
            probe().cleanScan() = form->picture();
            probe().boxes().clear();
            for (int i = 0; i < c.boxes; ++i)
                probe().boxes().push_back(ScanBox{i % 4 * 120, i / 4 * 120, i % 4 * 120 + 119, i / 4 * 120 + 119});
            const size_t before = prompts.transcript().size();
            if (c.boxes == 0) {
                prompts.answerOk();   // the message window
                save();
            } else {
                c.stop ? prompts.answerYes() : prompts.answerNo();
                save(ui().Scanbut);
            }
            EXPECT_EQ(QDir(here).entryList(QDir::Files | QDir::Hidden), mounted ? QStringList{".vulling"} : QStringList{});
            EXPECT_EQ(ui().Memo1->toPlainText(), "tekst");
            EXPECT_EQ(prompts.pending(), 0);
            QStringList kinds;
            for (size_t i = before; i < prompts.transcript().size(); ++i)
                kinds << prompts.transcript()[i].kind;
            if (c.boxes == 0) {
                EXPECT_EQ(kinds, QStringList{"modal"});
                // The system's reason, not a name to blame.
                ASSERT_NE(MessageWindow(), nullptr);
                const QString told = MessageWindow()->melding->toPlainText();
                EXPECT_FALSE(told.contains("Probeer een andere naam")) << told.toStdString();
                EXPECT_EQ(told.contains("Geen ruimte meer op het opslagmedium"), mounted) << told.toStdString();
                continue;
            }
            // Behind the progress window one question at the first failure, one notice at the end.
            ASSERT_EQ(kinds, (QStringList{"progress", "yesno", "notice"}));
            const QString question = prompts.transcript()[before + 1].text, told = prompts.transcript()[before + 2].text;
            EXPECT_TRUE(question.startsWith(here + "/kaart001.JPG is niet opgeslagen: ")) << question.toStdString();
            EXPECT_TRUE(question.endsWith("De serie stoppen?"));
            if (mounted) {
                EXPECT_TRUE(question.contains("Geen ruimte meer op het opslagmedium")) << question.toStdString();
            }
            EXPECT_TRUE(told.startsWith(QString("Van de %1 kaarten zijn er 0 opgeslagen.\r\nNiet opgeslagen: kaart001.JPG").arg(c.boxes)))
                << told.toStdString();
            EXPECT_EQ(told.contains("Gestopt: "), c.stop) << told.toStdString();
        }
}

TEST_F(SaveTest, OverwritingACard_ShouldReplaceOrRemoveEveryFileOfItsNumber)
{
    struct Case {
        QString memo;
        QStringList left;   // beside the new picture afterwards
    };
    const Case cases[] = {{"", {"document.JPG"}}, {"nieuw", {"document.JPG", "document.txt"}}};
    for (const Case &c : cases) {
        for (const char *old : {"document.JPG", "document-voorkant.JPG", "document-achterkant.JPG", "document.txt"})
            writeAll(in(old), "oude kaart");
        ui().fnedit->setText("document");
        ui().Memo1->setPlainText(c.memo);
        prompts.answerYes();
        save();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), c.left) << c.memo.toStdString();
        EXPECT_TRUE(isJpeg(readAll(in("document.JPG"))));
        if (!c.memo.isEmpty()) {
            EXPECT_EQ(readAll(in("document.txt")), "nieuw\r\n");
        }
    }
    // Side files alone are a card too: they are not left beside a new picture unasked.
    QFile::remove(in("document.JPG"));
    QFile::remove(in("document.txt"));
    writeAll(in("document-voorkant.JPG"), "oude kaart");
    ui().fnedit->setText("document");
    prompts.answerNo();
    prompts.answerCancel();
    save();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"document-voorkant.JPG"});
}

TEST_F(SaveTest, StoppedSeries_ShouldSayWhichCardsWereSavedAndHowManyWereNot)
{
    form->setPicture(noise(480, 360));
    ui().bidprentmode->setChecked(true);
    probe().cleanScan() = form->picture();
    // More cards than are encoded at once, so that some are still to come.
    const int count = int(std::thread::hardware_concurrency()) + 8;
    for (int i = 0; i < count; ++i)
        probe().boxes().push_back(ScanBox{i * 37 % 420, i * 23 % 320, i * 37 % 420 + 59, i * 23 % 320 + 39});
    // The user presses Stoppen once the first card is in place, told on the window's thread.
    probe().afterSave() = [this](const QString &, const QString &, bool) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        prompts.stopProgress();
        return true;
    };
    save(ui().Scanbut);
    const QStringList saved = QDir(folder).entryList({"*.JPG"}, QDir::Files, QDir::Name);
    ASSERT_LT(saved.size(), count);
    // One progress window, through the prompts, then the outcome.
    ASSERT_EQ(prompts.texts().size(), 2);
    EXPECT_EQ(prompts.transcript()[0].caption + ": " + prompts.texts()[0], "Opslaan: Kaart %1 van %2 opgeslagen");
    const QString names = saved.size() > 4 ? saved.first() + " t/m " + saved.last() : saved.join(", ");
    EXPECT_EQ(prompts.texts()[1].toStdString(),
              QString("Van de %1 kaarten zijn er %2 opgeslagen: %3.\r\nGestopt: %4 kaarten zijn niet opgeslagen.")
                  .arg(count).arg(saved.size()).arg(names).arg(count - saved.size()).toStdString());
}

TEST_F(SaveTest, SavedLine_ShouldNameTheFilesAndOpenTheirFolderWhenClicked)
{
    EXPECT_EQ(ui().opgeslagenregel->text(), "");
    save(ui().save);
    EXPECT_EQ(ui().opgeslagenregel->text(), "Opgeslagen: document.JPG in " + folder);

    ui().bidprentmode->setChecked(true);
    probe().cleanScan() = form->picture();
    probe().boxes() = {ScanBox{0, 0, 20, 15}, ScanBox{20, 15, 40, 30}, ScanBox{0, 15, 20, 30}};
    save(ui().save);
    EXPECT_EQ(ui().opgeslagenregel->text(), "Opgeslagen: document001.JPG t/m document003.JPG in " + folder);
    // A save that fails leaves the line as it was: those files are still where it says.
    ui().bidprentmode->setChecked(false);
    ui().bestandstype->setEditText(".qqq");
    prompts.answerOk();
    save(ui().save);
    EXPECT_EQ(ui().opgeslagenregel->text(), "Opgeslagen: document001.JPG t/m document003.JPG in " + folder);

    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(ui().opgeslagenregel, &release);
    EXPECT_EQ(outsideWorld.calls, QStringList{"open " + folder});
}
