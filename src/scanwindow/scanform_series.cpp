// Series mode of the scan window, in the order the user meets it: detection of
// the items on the glass, the Herverdeel question, then Opslaan: the backs' texts
// waited for, the cards' facts checked, every box cut out beside the window and
// each card handed whole to the save queue (encoded on the worker pool, put in
// place in order; named and told on the window's thread); last the placement of
// a back side.
#include "scanwindow/scanform.h"

#include "common/terminology.h"
#include "detection/box_drawing.h"
#include "detection/cut_out.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "detection/selection_geometry.h"
#include "dialogs/busy_cursor.h"
#include "dialogs/messages.h"
#include "imaging/picture.h"
#include "imaging/picture_file.h"
#include "imaging/save_queue.h"
#include "ocr/card_text_reader.h"
#include "scanwindow/beside_window.h"
#include "scanwindow/card_save.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QApplication>
#include <QScopeGuard>
#include <QThread>
#include <QTransform>
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>

namespace {

DetectionSettings ReadDetectionSettings(const Ui::TScanform &ui)
{
    DetectionSettings s;
    s.background = unsigned(ui.achtergrondkleur->colour());
    s.tolerance = ui.kleurgrensspin->limitedValue();
    s.minSize = ui.maxmagspin->limitedValue();
    s.marginPercent = ui.witrandspin->limitedValue();
    s.columns = ui.akol->limitedValue();
    s.smart = ui.slimzoeken->isChecked();
    return s;
}

QString FileName(const QString &path) { return path.mid(path.lastIndexOf('/') + 1); }

// A few names one by one; more as the first "t/m" the last.
QString Names(const QStringList &paths)
{
    if (paths.size() > 4)
        return FileName(paths.first()) + QStringLiteral(" t/m ") + FileName(paths.last());
    QStringList names;
    for (const QString &p : paths)
        names << FileName(p);
    return names.join(QStringLiteral(", "));
}

// What a series that was stopped or met failures came to, in one notice.
QString SeriesOutcomeText(int count, const QStringList &saved, const QStringList &failed, const QString &reason,
                          bool stopped)
{
    QString text = QStringLiteral("Van de %1 kaarten zijn er %2 opgeslagen").arg(count).arg(saved.size());
    text += saved.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + Names(saved) + '.';
    if (!failed.isEmpty()) {
        text += QStringLiteral("\r\nNiet opgeslagen: ") + Names(failed);
        text += reason.isEmpty() ? QStringLiteral(".") : QStringLiteral(" (") + reason + QStringLiteral(").");
    }
    const int rest = count - int(saved.size()) - int(failed.size());
    if (stopped && rest > 0)
        text += QStringLiteral("\r\nGestopt: %1 kaarten zijn niet opgeslagen.").arg(rest);
    return text;
}

// Whether backs straightened with read are what settings would make of them now;
// whitened cards are straightened on the whitened scan, so never.
bool SameStraightening(const CutOutSettings &read, const CutOutSettings &settings)
{
    return read.straighten && settings.straighten && !settings.whiten && read.background == settings.background
        && read.key.red == settings.key.red && read.key.green == settings.key.green && read.key.blue == settings.key.blue
        && read.key.tolerance == settings.key.tolerance;
}

// Card's back turned by turn quarter turns clockwise, and laid beside (or under) its
// front afresh in the fill colour; a back without a front is the card itself.
void TurnBackUpright(CardPictures &card, int turn, const CutOutSettings &settings)
{
    const QTransform upright = QTransform().rotate(90 * turn);
    if (card.front.isNull() || card.back.isNull()) {
        card.joined = card.joined.transformed(upright);
        MakeBitmap24(card.joined);
        return;
    }
    card.back = card.back.transformed(upright);
    MakeBitmap24(card.back);
    const bool below = settings.placement != 0;
    const QSize front = card.front.size(), back = card.back.size();
    const QPoint at = below ? QPoint(0, front.height()) : QPoint(front.width(), 0);
    QImage joined(std::max(front.width(), at.x() + back.width()), std::max(front.height(), at.y() + back.height()),
                  QImage::Format_BGR888);
    const unsigned fill = settings.fillColour();   // blue * 65536 + green * 256 + red
    joined.fill(QColor(int(fill & 0xFF), int((fill >> 8) & 0xFF), int((fill >> 16) & 0xFF)));
    const auto draw = [&joined](const QImage &side, QPoint to) {
        for (int y = 0; y < side.height(); ++y)
            std::memcpy(joined.scanLine(to.y() + y) + size_t(to.x()) * 3, side.constScanLine(y), size_t(side.width()) * 3);
    };
    draw(card.front, QPoint(0, 0));
    draw(card.back, at);
    joined.setDotsPerMeterX(card.joined.dotsPerMeterX());
    joined.setDotsPerMeterY(card.joined.dotsPerMeterY());
    card.joined = joined;
}

// Runs fn on the window's thread and waits for its end: work beside the window
// asks its questions and tells what became of a card through here.
void OnWindow(QObject *window, const std::function<void()> &fn)
{
    if (QThread::currentThread() == window->thread()) {
        fn();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        window,
        [&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();   // thrown again beside the window
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

// A box's back as it was read before the cut-out: its text and the quarter turns that set it upright.
struct BackAsRead {
    ScanBox box;
    QString text;
    int turn = 0;
};

std::vector<BackAsRead> BacksAsRead(const CardTextReader &reader, const ScanBoxList &boxes, bool turned)
{
    std::vector<BackAsRead> read;
    for (const ScanBox &box : boxes) {
        const QRect rect(box.left, box.top, box.width(), box.height());
        read.push_back({box, reader.textFor(rect), turned ? reader.turnFor(rect) : 0});
    }
    return read;
}

const BackAsRead *FindBack(const std::vector<BackAsRead> &read, const ScanBox &box)
{
    for (const BackAsRead &back : read)
        if (back.box == box)
            return &back;
    return nullptr;
}

} // namespace

void TScanform::zoeklossevakkenknopClick()
{
    const DetectionSettings settings = ReadDetectionSettings(*ui);
    detectionBackground = settings.background;
    detectionTolerance = settings.tolerance;

    // Detection and drawing work from the clean scan; without one, from what is shown.
    const QImage scan = cleanScan.isNull() ? picture() : cleanScan;
    const PixelSelection selection = FrameToPicture(Shape1->geometry(), Image1->geometry(), scan.width(), scan.height());

    boxes = DetectItems(scan, selection, settings);
    OrderBoxes(boxes, settings.columns);

    // The preview shows the clean scan again, with this run's boxes over it (in
    // the picture as soon as it is read): a joined picture is gone from the screen.
    endJoin();
    Image1->setPictureWithBoxes(scan, boxes, int(boxes.size()), TrailingNumber(ui->fnedit->text()),
                                unsigned(ui->vakkleur->colour()));
    // The backs are read while the user looks at the boxes.
    if (ReadingBacks())
        StartReadingBacks();
}

void TScanform::TestverdelingClick(QObject *sender)
{
    Shape1->setGeometry(FitFrameIntoImage(Shape1->geometry(), Image1->geometry()));

    {
        BusyCursor busy;
        zoeklossevakkenknopClick();
    }

    QString question = QString::number(boxes.size()) + QStringLiteral(" vakken\r\nIn orde ?");
    if (!backSidePass && ui->gelijkachterkant->isChecked() && ui->bidprentmode->isChecked())
        question += QStringLiteral("\r\n\r\nZoja, draai dan nu eerst de prenten om\r\nen klik dan \"Ja\".");

    if (AskYesNo(question, QString(), QString(), ModalResult::Yes, QStringLiteral("Vakken bepaald")) == ModalResult::Yes) {
        if (backSidePass) {
            SaveClick(sender);
        } else {
            frontBoxCount = int(boxes.size());
            frontBoxes = boxes;
            frontScan = cleanScan;
            if (ui->gelijkachterkant->isChecked()) {
                // A scan does not start inside another: after a front scan the
                // back side follows as soon as that scan's handler is done.
                if (scanning)
                    QMetaObject::invokeMethod(
                        this, [this] { ScanbutClick(ui->scanachterkant); }, Qt::QueuedConnection);
                else
                    ScanbutClick(ui->scanachterkant);
            }
        }
    } else if (!backSidePass) {
        // Fronts the user turned down wait for no backs: the back-side button
        // no longer counts them, nor pairs a back scan with an older series.
        frontBoxCount = 0;
        frontBoxes.clear();
        frontScan = QImage();
    }
    // Whatever the answer, the preview ends on the clean scan.
    if (!cleanScan.isNull())
        setPicture(cleanScan);
    FitPreview();
}

bool TScanform::SaveSeriesBoxes()
{
    const int count = int(boxes.size());
    // With card texts each card is saved with the text read from its own box. The
    // reading is waited for first: one progress window at a time, and its
    // Stoppen stops what it shows.
    const bool withTexts = ui->tekstachterkantlezen->isChecked(), backs = withTexts && ReadingBacks();
    if (backs)
        WaitForBackTexts();
    // The user checks the cards' facts; Escape goes back to the boxes with nothing saved.
    if (!ReviewSeriesRecords())
        return false;   // nothing saved: no saved layout, no restart
    seriesWithTexts = withTexts;
    const auto reset = qScopeGuard([this] { seriesWithTexts = false; });
    const CutOutSettings asSet = cutOutSettings();
    CutOutSettings settings = asSet;
    // A back to be turned upright is laid beside its front afresh: the sides are needed apart.
    settings.sides = settings.sides || (backs && settings.straighten);
    const QImage source = cleanScan.isNull() ? picture() : cleanScan;
    BusyCursor busy;
    cardTextFailed = false;
    seriesSaved.clear();
    seriesFailed.clear();
    seriesFailReason.clear();
    seriesAskedRoom = seriesStop = seriesMemoTaken = seriesMemoWritten = false;
    const QString caption = windowTitle();
    // The cut-out works beside the window on copies of what it needs: the
    // window's own state stays the window thread's alone.
    const bool sides = ui->lossekanten->isChecked();
    const std::vector<BackAsRead> read = seriesWithTexts && cardReader && ReadingBacks()
                                             ? BacksAsRead(*cardReader, boxes, asSet.straighten) : std::vector<BackAsRead>();
    // The backs read set straight go into the cards as they are: each card is straightened once.
    std::vector<std::pair<ScanBox, QImage>> straight;
    if (backs && SameStraightening(straightBacksWith, settings) && readScanKey == source.cacheKey())
        straight = straightBacks;
    ScanBoxList ordered = boxes;
    const ScanBoxList pairs = frontBoxes;
    QImage fronts = std::move(frontScan);   // whitened in place under its cards
    const FrontSide paired{&fronts, &pairs, frontBoxCount};
    // After the queue has finished, whatever the run came to.
    const auto unset = qScopeGuard([&] { seriesSaves = nullptr; frontScan = std::move(fronts); });
    PictureSaveQueue saves;
    seriesSaves = &saves;
    QImage work;
    bool stopped = false;
    // Stoppen ends the run between cards; what is saved stays saved.
    RunBesideWindow(Term(Terms::Opslaan), QStringLiteral("Kaart %1 van %2 opgeslagen"), count, [&](BesideProgress &progress) {
        const auto hand = [&](const CardPictures &cut) {
            const int index = progress.done;
            CardPictures card = cut;
            const BackAsRead *back = FindBack(read, ordered[size_t(index)]);
            if (back && back->turn != 0)
                TurnBackUpright(card, back->turn, asSet);
            if (!sides)
                card.front = card.back = QImage();
            handSeriesCard(saves, index, card, back ? back->text : QString(), caption);
            ++progress.done;
        };
        const auto made = [&straight](const ScanBox &box) {
            for (const auto &[was, picture] : straight)
                if (was == box)
                    return picture;
            return QImage();
        };
        const auto stop = [&] { return progress.stop || seriesStop; };
        work = CutOutBoxes(source, ordered, count, backSidePass ? &paired : nullptr, settings, hand, stop, made);
        saves.finish();
        stopped = stop();
    });
    boxes = ordered;
    straightBacks.clear();
    FinishSeriesRecords();
    if (stopped || !seriesFailed.isEmpty())
        ShowNotice(SeriesOutcomeText(count, seriesSaved, seriesFailed, seriesFailReason, stopped));
    if ((seriesWithTexts && !cardTextFailed) || seriesMemoWritten)
        ui->Memo1->clear();
    setPicture(work);
    FitPreview();
    return seriesFailed.isEmpty();
}

void TScanform::handSeriesCard(PictureSaveQueue &saves, int cardIndex, const CardPictures &card, const QString &backText,
                               const QString &caption)
{
    CardToSave c;
    bool named = false;
    OnWindow(this, [&] { named = nameSeriesCard(cardIndex, card, backText, caption, c); });
    if (!named)
        return;
    // Encoded on the pool while the next card is cut out; what became of it is told on the window's thread.
    SaveUnit unit = CardSaveUnit(c.input, [this, c](const CardSaveResult &r) { OnWindow(this, [&] { finishCard(c, r); }); });
    if (!unit.anyThread) {
        // The library's writers may show a message: they write on the window's thread.
        unit.encode = [this, encode = unit.encode] { OnWindow(this, encode); };
        unit.commit = [this, commit = unit.commit](const QString &thrown) { OnWindow(this, [&] { commit(thrown); }); };
    }
    saves.save(std::move(unit));
}

bool TScanform::nameSeriesCard(int cardIndex, const CardPictures &card, const QString &backText, const QString &caption,
                               CardToSave &c)
{
    const QString folder = ui->doelmap->text();
    PictureCaption record;
    QString named;
    bool skip = false;
    FillCardRecord(cardIndex, record, named, skip);
    if (skip)
        return false;
    QString path = SavePath(folder, named.isEmpty() ? ui->fnedit->text() : named, ui->bestandstype->currentText());
    bool overwriting = false;
    if (path.isEmpty() || !choosePath(path, overwriting, caption))
        return false;
    c = cardToSave(path, overwriting, card, backText);
    c.index = cardIndex;
    c.input.caption.title = record.title;
    c.input.caption.person = record.person;
    c.input.caption.subjects = record.subjects;
    if (named.isEmpty())
        nameNextCard(folder);
    setWindowTitle(caption);
    return true;
}

void TScanform::bidprentmodeClick()
{
    const bool on = ui->bidprentmode->isChecked();
    ui->Panel2->setVisible(on);
    ui->Testverdeling->setVisible(on);
    Shape1->setVisible(on);
    if (!on)
        ui->scanachterkant->setText(QStringLiteral("Scan\r\nachterkant"));
}

CutOutSettings TScanform::cutOutSettings() const
{
    CutOutSettings settings;
    settings.whiten = ui->maakachtergrondwitcheck->isChecked();
    settings.key = BackgroundKey::fromColour(detectionBackground, detectionTolerance);
    settings.background = unsigned(ui->achtergrondkleur->colour());
    settings.placement = backSidePlacement();
    settings.columns = ui->akol->limitedValue();
    settings.straighten = ui->kaartenrechtzetten->isChecked();
    settings.sides = ui->lossekanten->isChecked();
    return settings;
}

int TScanform::backSidePlacement() const
{
    return ui->achterkantgroep->itemIndex() == 1 ? 1 : 0;
}

void TScanform::endJoin()
{
    joinedBackSide = false;
    joinedFront = joinedBack = QImage();
}

void TScanform::achterkantgroepClick()
{
    const int placement = backSidePlacement();
    if (!joinedBackSide || placement == joinedPlacement)
        return;
    joinedPlacement = placement;
    setPicture(RelayoutBackSide(joinedFront, joinedBack, placement));
    FitPreview();
}
