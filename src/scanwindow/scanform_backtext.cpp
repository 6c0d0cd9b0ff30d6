// "Tekst achterkant lezen": the backs of a series are read on a worker thread
// while the user looks at the boxes, and each card's text goes with that card.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "dialogs/messages.h"
#include "ocr/back_text.h"
#include "ocr/card_text_reader.h"
#include "scanwindow/scan_widgets.h"
#include "ui_scanform.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QThread>

namespace {

QRect RectOf(const ScanBox &b) { return QRect(b.left, b.top, b.width(), b.height()); }

QString Language(const Ui::TScanform &ui)
{
    const QString code = ui.ocrtaal->currentData().toString();
    return code.isEmpty() ? QStringLiteral("nld") : code;
}

} // namespace

bool TScanform::ReadingBacks() const
{
    return ui->tekstachterkantlezen->isChecked() && ui->bidprentmode->isChecked() && backSidePass;
}

void TScanform::StartReadingBacks()
{
    if (!cardReader)
        cardReader = std::make_unique<CardTextReader>();
    const QImage scan = cleanScan.isNull() ? picture() : cleanScan;
    readScanKey = scan.cacheKey();
    readStraightened = ui->kaartenrechtzetten->isChecked();
    std::vector<CardTextReader::Back> backs;
    if (readStraightened) {
        // Read as saved: a leaning back turned upright first.
        const CutOutSettings settings = cutOutSettings();
        for (const ScanBox &b : boxes)
            backs.push_back({RectOf(b), BoxAlone(scan, b, settings)});
    } else {
        std::vector<QRect> cards;
        for (const ScanBox &b : boxes)
            cards.push_back(RectOf(b));
        backs = CardTextReader::CutBacks(scan, cards);
    }
    cardReader->start(backs, TextToIntDef(ui->dpiachter->text(), kOcrDpi), Language(*ui));
}

void TScanform::WaitForBackTexts()
{
    // Scan, boxes or straightening changed since the reading began (or it never began): read
    // them now, so that no text of an earlier scan lying at the same place is used.
    const QImage &scan = cleanScan.isNull() ? picture() : cleanScan;
    bool covered = cardReader != nullptr && readScanKey == scan.cacheKey()
                && readStraightened == ui->kaartenrechtzetten->isChecked();
    for (const ScanBox &b : boxes)
        covered = covered && cardReader->covers(RectOf(b));
    if (!covered)
        StartReadingBacks();

    const int total = cardReader->cardCount();
    if (cardReader->readCount() < total) {
        QProgressDialog progress(QStringLiteral("Tekst achterkant lezen..."), QStringLiteral("Stoppen"), 0, total, this);
        progress.setWindowTitle(QStringLiteral("Tekst achterkant lezen"));
        // Wide enough that the window manager shows the title whole, with its buttons beside it.
        progress.setMinimumWidth(progress.fontMetrics().horizontalAdvance(progress.windowTitle()) * 2 + 120);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        while (cardReader->readCount() < total) {
            const int read = cardReader->readCount();
            progress.setValue(read);
            progress.setLabelText(QStringLiteral("Kaart %1 van %2 gelezen").arg(read).arg(total));
            if (progress.wasCanceled()) {
                cardReader->stop();
                break;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
    }
    const int unread = total - cardReader->readCount();
    if (cardReader->stopped() && unread > 0)
        ShowNotice(QStringLiteral("Lezen gestopt: van %1 kaarten is de tekst niet gelezen.").arg(unread));
    else if (!cardReader->error().isEmpty())
        ShowNotice(cardReader->error());
}

QString TScanform::BackTextOf(const ScanBox &box) const
{
    return cardReader ? cardReader->textFor(RectOf(box)) : QString();
}
