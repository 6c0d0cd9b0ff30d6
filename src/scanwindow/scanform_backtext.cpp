// "Tekst achterkant lezen": the backs of a series are read on a worker thread
// while the user looks at the boxes, and each card's text goes with that card.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "dialogs/messages.h"
#include "ocr/back_text.h"
#include "ocr/card_text_reader.h"
#include "scanwindow/beside_window.h"
#include "scanwindow/scan_widgets.h"
#include "ui_scanform.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QStandardItemModel>

namespace {

QRect RectOf(const ScanBox &b) { return QRect(b.left, b.top, b.width(), b.height()); }

QString Language(const Ui::TScanform &ui)
{
    const QString code = ui.ocrtaal->currentData().toString();
    return code.isEmpty() ? QStringLiteral("nld") : code;
}

// Runs a check just before a list opens: by mouse or key.
class BeforeList : public QObject {
public:
    BeforeList(QObject *parent, std::function<void()> check) : QObject(parent), m_check(std::move(check)) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::KeyPress)
            m_check();
        return false;
    }

private:
    std::function<void()> m_check;
};

} // namespace

void TScanform::connectBackText()
{
    ui->ocrtaal->installEventFilter(new BeforeList(ui->ocrtaal, [this] { MarkOcrLanguages(); }));
    connect(ui->tekstachterkantlezen, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            tekstachterkantlezenOn();
    });
}

bool TScanform::MarkOcrLanguages()
{
    auto *model = qobject_cast<QStandardItemModel *>(ui->ocrtaal->model());
    int firstInstalled = -1;
    for (int i = 0; model && i < model->rowCount(); ++i) {
        const QString code = ui->ocrtaal->itemData(i).toString();
        QString name = code;
        for (const OcrLanguage &l : OcrLanguages())
            if (code == QLatin1String(l.code))
                name = QString::fromUtf8(l.name);
        const bool installed = CardTextReader::LanguageInstalled(code);
        QStandardItem *item = model->item(i);
        item->setText(installed ? name : name + QStringLiteral(" (niet geïnstalleerd)"));
        item->setEnabled(installed);
        if (installed && firstInstalled < 0)
            firstInstalled = i;
    }
    ui->ocrtaal->view()->setMinimumWidth(ui->ocrtaal->view()->sizeHintForColumn(0) + 24);
    const QStandardItem *current = model ? model->item(ui->ocrtaal->currentIndex()) : nullptr;
    if (current && !current->isEnabled() && firstInstalled >= 0)
        ui->ocrtaal->setCurrentIndex(firstInstalled);
    return firstInstalled >= 0;
}

void TScanform::tekstachterkantlezenOn()
{
    const QString chosen = ui->ocrtaal->currentText().remove(QStringLiteral(" (niet geïnstalleerd)"));
    const int before = ui->ocrtaal->currentIndex();
    if (!MarkOcrLanguages()) {
        ui->tekstachterkantlezen->setChecked(false);
        ShowNotice(QStringLiteral("Er is geen leestaal voor Tesseract geïnstalleerd (pakket tesseract-ocr-nld): "
                                  "de tekst op de achterkant kan niet gelezen worden."));
    } else if (ui->ocrtaal->currentIndex() != before) {
        ShowNotice(QStringLiteral("De leestaal %1 is niet geïnstalleerd; de tekst wordt gelezen in het %2.")
                       .arg(chosen, ui->ocrtaal->currentText()));
    }
}

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
        straightBacks.clear();
        straightBacksWith = settings;
        for (const ScanBox &b : boxes) {
            backs.push_back({RectOf(b), BoxAlone(scan, b, settings)});
            straightBacks.push_back({b, backs.back().picture});
        }
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
    int readAtStop = total;
    if (cardReader->readCount() < total) {
        const CardTextReader &reader = *cardReader;
        RunBesideWindow(
            QStringLiteral("Tekst achterkant lezen"), QStringLiteral("Kaart %1 van %2 gelezen"), total,
            [&reader, total](BesideProgress &progress) {
                for (int i = 0; i < total; ++i) {
                    reader.waitFor(i);
                    progress.done = reader.readCount();
                }
            },
            // The cards still being read stop at their next word; they count as not read.
            [this, &readAtStop] {
                readAtStop = cardReader->readCount();
                cardReader->stop();
            });
    }
    const int unread = total - readAtStop;
    if (cardReader->stopped() && unread > 0)
        ShowNotice(QStringLiteral("Lezen gestopt: van %1 kaarten is de tekst niet gelezen.").arg(unread));
    else if (!cardReader->error().isEmpty())
        ShowNotice(cardReader->error());
}

QString TScanform::BackTextOf(const ScanBox &box) const
{
    return cardReader ? cardReader->textFor(RectOf(box)) : QString();
}
