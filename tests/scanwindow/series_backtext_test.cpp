// "Tekst achterkant lezen" through the window: a series of cards whose backs
// carry different names, each saved with a text file of its own.
#include "ocr/synthetic_back.h"
#include "fakes/file_bytes.h"
#include "scanwindow/scan_fixture.h"

#include "ocr/card_text_reader.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardItemModel>
#include <QTemporaryDir>

namespace {

struct Person {
    QString name, born, died;
};
const Person People[] = {{"Adrianus Mertens", "1887", "1950"},
                         {"Catharina Hermans", "1895", "1969"},
                         {"Josephus van Gils", "1872", "1941"}};

QStringList BackLines(const Person &p)
{
    return {"Bid voor de ziel van", p.name, "geboren te Tilburg", "op 2 mei " + p.born, "overleden te Breda",
            "op 9 juni " + p.died};
}

// Three cards in a row at 300 dpi: plain coloured fronts, printed backs.
QImage Page(bool back)
{
    const QImage first = RenderBack({BackLines(People[0])});
    QImage page(3 * first.width() + 200, first.height() + 200, QImage::Format_BGR888);
    page.fill(Qt::white);
    QPainter p(&page);
    for (int i = 0; i < 3; ++i) {
        const QPoint at(100 + i * first.width(), 100);
        if (back)
            p.drawImage(at, RenderBack({BackLines(People[i])}));
        else
            p.fillRect(QRect(at, first.size()).adjusted(40, 40, -40, -40), QColor(120 + 40 * i, 90, 60));
    }
    return page;
}

} // namespace

TEST_F(ScanWindowTest, BackTexts_ShouldGiveEveryCardATextFileWithItsOwnNameAfterTheUsersText)
{
    const QString folder = program.folder() + "kaarten";
    PrepareReadSeries(ui(), folder);
    ui().kaartenrechtzetten->setChecked(true);   // the backs are read as saved, upright
    ui().Memo1->setPlainText("Familie Mertens");
    ScanFrontsAndBacks(scanner, prompts, ui(), Page(false), Page(true));

    for (int i = 0; i < 3; ++i) {
        const QString text = QString::fromUtf8(readAll(folder + QString("/kaart%1.txt").arg(i + 1, 3, 10, QChar('0'))));
        EXPECT_TRUE(text.startsWith("Familie Mertens\r\nBid voor de ziel van\r\n")) << text.toStdString();
        EXPECT_TRUE(text.endsWith("\r\n")) << i;
        for (int k = 0; k < 3; ++k) {
            const bool own = k == i;
            EXPECT_EQ(text.contains(People[k].name), own) << i << " " << text.toStdString();
            EXPECT_EQ(text.contains(People[k].born) && text.contains(People[k].died), own) << i;
        }
    }
    // The user's text went with every card of the series, and is done with now.
    EXPECT_TRUE(ui().Memo1->toPlainText().isEmpty());

    // Cards saved as fronts alone, lying where the read backs lay: no back's text is theirs.
    ui().Memo1->setPlainText("Tweede doos");
    scanner.image = Page(true);
    prompts.answerNo();
    ui().Scanbut->click();
    ui().save->click();
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(QString::fromUtf8(readAll(folder + QString("/kaart%1.txt").arg(i + 1, 3, 10, QChar('0')))).toStdString(), "Tweede doos\r\n") << i;
}

// The reading is waited for behind one progress window through the prompts, not
// a dialog of its own; its Stoppen stops the reading and says how much was left.
TEST_F(ScanWindowTest, BackTexts_ShouldBeWaitedForBehindOneProgressWindowWhoseStoppenStops)
{
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop);
        const QString folder = program.folder() + (stop ? "gestopt" : "kaarten");
        PrepareReadSeries(ui(), folder);
        prompts.stopBusyWork = stop;
        const size_t before = prompts.transcript().size();
        ScanFrontsAndBacks(scanner, prompts, ui(), Page(false), Page(true));
        QStringList shown;
        for (size_t i = before; i < prompts.transcript().size(); ++i) {
            const PromptRecord &r = prompts.transcript()[i];
            if (r.kind == "progress" && r.caption == "Tekst achterkant lezen")
                shown << r.text + " " + r.value;
            else if (r.text.startsWith("Lezen gestopt"))
                shown << r.text.left(19);
        }
        if (stop)
            EXPECT_EQ(shown, (QStringList{"Kaart %1 van %2 gelezen 3", "Lezen gestopt: van "}));
        else
            EXPECT_EQ(shown, QStringList{"Kaart %1 van %2 gelezen 3"});
        if (!stop)
            EXPECT_EQ(QDir(folder).entryList({"*.txt"}).size(), 3);
    }
}

TEST_F(ScanWindowTest, MissingReadingLanguage_ShouldBeMarkedNotChosenNotWaitedForAndWriteNoEmptyText)
{
    // A Tesseract with Dutch alone.
    QTemporaryDir data;
    for (const QString &d : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata"})
        QFile::link(d + QString("/nld.traineddata"), data.filePath("nld.traineddata"));
    const QByteArray before = qgetenv("TESSDATA_PREFIX");
    qputenv("TESSDATA_PREFIX", data.path().toUtf8());
    const auto restore = qScopeGuard([&] {
        if (before.isNull())
            qunsetenv("TESSDATA_PREFIX");
        else
            qputenv("TESSDATA_PREFIX", before);
    });
    ASSERT_TRUE(CardTextReader::LanguageInstalled("nld"));

    const QString folder = program.folder() + "kaarten";
    PrepareSeries(ui(), folder, "kaart001");
    QComboBox &lang = *ui().ocrtaal;
    lang.setCurrentIndex(lang.findData("fra"));
    ui().tekstachterkantlezen->click();
    EXPECT_EQ(prompts.texts(), QStringList{"De leestaal Frans is niet geïnstalleerd; de tekst wordt gelezen in het Nederlands."});
    EXPECT_EQ(lang.currentData().toString(), "nld");
    const auto *model = qobject_cast<QStandardItemModel *>(lang.model());
    ASSERT_NE(model, nullptr);
    QStringList shown;
    for (int i = 0; i < lang.count(); ++i)
        shown << lang.itemText(i) + (model->item(i)->isEnabled() ? "" : " -");
    EXPECT_EQ(shown, (QStringList{"Nederlands", "Engels (niet geïnstalleerd) -", "Frans (niet geïnstalleerd) -",
                                  "Duits (niet geïnstalleerd) -"}));

    // Chosen all the same (as a stored setting can): the cards are saved at once, without text.
    lang.setCurrentIndex(lang.findData("deu"));
    ui().dpi->setText("300");
    ui().dpiachter->setText("300");
    ui().Shape1->setGeometry(0, 0, ui().Panel1->width(), ui().Panel1->height());
    ScanFrontsAndBacks(scanner, prompts, ui(), Page(false), Page(true));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"kaart001.JPG", "kaart002.JPG", "kaart003.JPG"}));
    EXPECT_EQ(prompts.texts().mid(prompts.texts().size() - 2),
              (QStringList{"De leestaal Duits is niet geïnstalleerd (pakket tesseract-ocr-deu): "
                           "de tekst op de achterkanten is niet gelezen.",
                           "Kaart %1 van %2 opgeslagen"}));
}
