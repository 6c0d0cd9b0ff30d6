// A back lying upside down on the glass, saved as one of a series.
#include "ocr/synthetic_back.h"
#include "fakes/file_bytes.h"
#include "scanwindow/scan_fixture.h"

#include <QPainter>
#include <QTransform>

namespace {

const QStringList kLines = {"Bid voor de ziel van", "Adrianus Mertens", "geboren te Tilburg", "op 2 mei 1887",
                            "overleden te Breda", "op 9 juni 1950"};

// One card at 300 dpi: a plain front, or its back upside down with a black bar
// across the top of the upright back, to tell which way up it was saved.
QImage Page(bool back)
{
    QImage card = RenderBack({kLines});
    QImage page(card.width() + 200, card.height() + 200, QImage::Format_BGR888);
    page.fill(Qt::white);
    QPainter p(&page);
    if (!back) {
        p.fillRect(QRect(QPoint(100, 100), card.size()).adjusted(40, 40, -40, -40), QColor(120, 90, 60));
        return page;
    }
    QPainter(&card).fillRect(QRect(card.width() / 2 - 200, 70, 400, 80), Qt::black);
    p.drawImage(100, 100, card.transformed(QTransform().rotate(180)));
    return page;
}

} // namespace

// The back read upright is saved upright with "Kaarten rechtzetten", as it lay without.
TEST_F(ScanWindowTest, UpsideDownBack_ShouldBeSavedUprightOnlyWhenCardsAreSetStraight)
{
    for (const bool straight : {true, false}) {
        SCOPED_TRACE(straight);
        const QString folder = program.folder() + (straight ? "recht" : "zoals");
        PrepareReadSeries(ui(), folder);
        ui().kaartenrechtzetten->setChecked(straight);
        ui().lossekanten->setChecked(true);
        ScanFrontsAndBacks(scanner, prompts, ui(), Page(false), Page(true));

        const QImage back = QImage(folder + "/kaart001-achterkant.JPG").convertToFormat(QImage::Format_Grayscale8);
        ASSERT_FALSE(back.isNull());
        // The bar darkens the top quarter of an upright back, the bottom one of a back upside down.
        const auto ink = [&back](int from) {
            qint64 dark = 0;
            for (int y = from; y < from + back.height() / 4; ++y)
                for (int x = 0; x < back.width(); ++x)
                    dark += 255 - back.constScanLine(y)[x];
            return dark;
        };
        EXPECT_EQ(ink(0) > ink(back.height() * 3 / 4), straight);
        EXPECT_TRUE(QString::fromUtf8(readAll(folder + "/kaart001.txt")).contains("Adrianus Mertens"));
        // The joined card holds the same back beside its front.
        EXPECT_EQ(QImage(folder + "/kaart001.JPG").width(),
                  QImage(folder + "/kaart001-voorkant.JPG").width() + back.width());
    }
}
