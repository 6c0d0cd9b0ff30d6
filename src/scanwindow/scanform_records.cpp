// "Kaartgegevens bijhouden": the facts of every card in a series, read from its
// back and checked by the user, go into its caption, its file name and the
// target folder's index. With the box off nothing here touches a save.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "detection/reading_order.h"
#include "dialogs/card_review.h"
#include "dialogs/messages.h"
#include "imaging/picture_caption.h"
#include "ocr/card_text_reader.h"
#include "records/card_index_file.h"
#include "records/card_naming.h"
#include "scanwindow/card_files.h"
#include "ui_scanform.h"

#include <QMap>
#include <QMutex>
#include <QSet>
#include <QTransform>

// One series' cards from the check to the index. A save may report its card
// from the thread that wrote it, hence the lock.
struct SeriesRecords {
    QMutex lock;
    QString folder, type;
    QString pattern;              // of file names; empty: the numbered names
    QList<CardReviewRow> cards;   // in the order the cut-out saves them
    QStringList texts;            // what each back reads
    QList<uint64_t> fronts;       // each card's front fingerprint; 0 without a front
    QSet<QString> names;          // names given to cards of this series, maybe not written yet
    QMap<int, CardRecord> saved;  // by card, so the index keeps the series' order
    QList<FrontLikeness> savedFronts;
};

namespace {

QString NameOf(const QString &path) { return path.section(QLatin1Char('/'), -1); }

QRect RectOf(const ScanBox &b) { return QRect(b.left, b.top, b.width(), b.height()); }

} // namespace

void TScanform::connectRecords()
{
    // The facts come from the backs' text: keeping them reads the backs.
    connect(ui->kaartgegevens, &QCheckBox::clicked, this, [this](bool on) {
        if (!on || ui->tekstachterkantlezen->isChecked())
            return;
        ui->tekstachterkantlezen->setChecked(true);
        tekstachterkantlezenOn();
        ui->kaartgegevens->setChecked(ui->tekstachterkantlezen->isChecked());
    });
    auto enable = [this] {
        ui->naamuitkaartgegevens->setEnabled(ui->kaartgegevens->isChecked());
        ui->kaartnaampatroon->setEnabled(ui->kaartgegevens->isChecked() && ui->naamuitkaartgegevens->isChecked());
    };
    connect(ui->kaartgegevens, &QCheckBox::toggled, this, enable);
    connect(ui->naamuitkaartgegevens, &QCheckBox::toggled, this, enable);
    enable();
    // A pattern longer than its field shows its start, not its end, unless it is being typed.
    connect(ui->kaartnaampatroon, &QLineEdit::textChanged, this, [this] {
        if (!ui->kaartnaampatroon->hasFocus())
            ui->kaartnaampatroon->setCursorPosition(0);
    });
    ui->kaartnaampatroon->setCursorPosition(0);
}

bool TScanform::ReviewSeriesRecords()
{
    seriesRecords.reset();
    if (!ui->kaartgegevens->isChecked() || !ReadingBacks() || boxes.empty())
        return true;
    auto records = std::make_shared<SeriesRecords>();
    records->folder = ui->doelmap->text();
    records->type = ui->bestandstype->currentText();
    if (ui->naamuitkaartgegevens->isChecked()) {
        records->pattern = ui->kaartnaampatroon->text().trimmed();
        if (records->pattern.isEmpty())
            records->pattern = DefaultCardNamePattern();
    }
    const CutOutSettings settings = cutOutSettings();
    const int count = int(boxes.size());
    OrderBoxes(boxes, count, settings.columns);   // as the cut-out will: card i is box i
    const QImage scan = cleanScan.isNull() ? picture() : cleanScan;
    const QList<FrontLikeness> known = SavedFronts(records->folder);
    for (int i = 0; i < count; ++i) {
        const ScanBox &box = boxes[size_t(i)];
        CardReviewRow card;
        const QString text = BackTextOf(box);
        card.facts = ReadCardFacts(text);
        const int turn = cardReader ? cardReader->turnFor(RectOf(box)) : 0;
        card.back = BoxAlone(scan, box, settings).transformed(QTransform().rotate(90 * turn));
        const int k = frontScan.isNull() ? -1 : FindPartner(boxes, count, i, frontBoxes, frontBoxCount);
        uint64_t front = 0;
        if (k >= 0 && k < int(frontBoxes.size())) {
            front = LikenessHash(BoxAlone(frontScan, frontBoxes[size_t(k)], settings));
            card.sameAs = SameFrontAs(known, front);
        }
        card.save = card.sameAs.isEmpty();
        records->cards << card;
        records->texts << text;
        records->fronts << front;
    }
    if (!ReviewCardFacts(records->cards, this))
        return false;
    seriesRecords = records;
    return true;
}

void TScanform::FillCardRecord(int cardIndex, PictureCaption &caption, QString &fileName, bool &skip)
{
    SeriesRecords *r = seriesRecords.get();
    if (!r || cardIndex < 0 || cardIndex >= r->cards.size())
        return;
    const QMutexLocker locked(&r->lock);
    const CardReviewRow &card = r->cards[cardIndex];
    fileName.clear();
    skip = !card.save;
    if (skip)
        return;
    caption.title = CardTitle(card.facts);
    caption.person = card.facts.fullName();
    caption.subjects = CardSubjects(card.facts);
    if (r->pattern.isEmpty())
        return;
    // Never over another card: not one in the folder, with its sides and text, nor one of this series.
    auto taken = [r](const QString &name) {
        const QString path = r->folder + QLatin1Char('/') + name;
        return r->names.contains(name) || SafeFileExists(path) || SafeFileExists(SideFilePath(path, false)) ||
               SafeFileExists(SideFilePath(path, true)) || SafeFileExists(TextFilePath(path));
    };
    const QString name = CardFileName(r->pattern, card.facts, r->type, taken);
    if (name.isEmpty())
        return;
    fileName = name + r->type;
    r->names.insert(fileName);
}

void TScanform::RecordSavedCard(int cardIndex, const QString &path, const QStringList &sides)
{
    SeriesRecords *r = seriesRecords.get();
    if (!r || cardIndex < 0 || cardIndex >= r->cards.size())
        return;
    const QMutexLocker locked(&r->lock);
    CardRecord record;
    record.file = NameOf(path);
    record.front = sides.size() > 0 ? NameOf(sides[0]) : QString();
    record.back = sides.size() > 1 ? NameOf(sides[1]) : QString();
    record.facts = r->cards[cardIndex].facts;
    record.sameAs = r->cards[cardIndex].sameAs;
    record.text = r->texts[cardIndex];
    r->folder = path.left(path.lastIndexOf(QLatin1Char('/')));
    r->saved.insert(cardIndex, record);
    if (r->fronts[cardIndex] != 0)
        r->savedFronts.push_back({record.file, r->fronts[cardIndex]});
}

void TScanform::FinishSeriesRecords()
{
    const std::shared_ptr<SeriesRecords> r = std::move(seriesRecords);
    if (!r)
        return;
    const QMutexLocker locked(&r->lock);
    if (r->saved.isEmpty())
        return;
    QStringList written;
    QString why;
    if (!UpdateCardIndex(r->folder, r->saved.values(), written, why) || !AddSavedFronts(r->folder, r->savedFronts, why))
        ShowNotice(QStringLiteral("De kaartgegevens zijn niet bijgehouden: ") + why + '.');
}
