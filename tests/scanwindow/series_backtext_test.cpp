// "Tekst achterkant lezen" through the window: a series of cards whose backs
// carry different names, each saved with a text file of its own.
#include "ocr/synthetic_back.h"
#include "fakes/file_bytes.h"
#include "scanwindow/scan_fixture.h"

#include <QDir>
#include <QFile>

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
    PrepareSeries(ui(), folder, "kaart001");
    ui().tekstachterkantlezen->setChecked(true);
    ui().kaartenrechtzetten->setChecked(true);   // the backs are read as saved, upright
    ui().dpi->setText("300");
    ui().dpiachter->setText("300");
    ui().Memo1->setPlainText("Familie Mertens");
    ui().Shape1->setGeometry(0, 0, ui().Panel1->width(), ui().Panel1->height());

    scanner.image = Page(false);
    prompts.answerYes();
    ui().Scanbut->click();
    scanner.image = Page(true);
    prompts.answerYes();
    ui().scanachterkant->click();

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
