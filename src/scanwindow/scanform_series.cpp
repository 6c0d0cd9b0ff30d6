// Series mode of the scan window, in the order the user meets it: detection of
// the items on the glass, the Herverdeel question, then Opslaan: the backs' texts
// waited for, the cards' facts checked, every box cut out and each card handed
// whole to the save queue (encoded on the worker pool, put in place here, in
// order); last the placement of a back side.
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
#include "scanwindow/card_save.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QApplication>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTransform>
#include <algorithm>
#include <cstring>

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
    CutOutSettings settings = cutOutSettings();
    // A back to be turned upright is laid beside its front afresh: the sides are needed apart.
    settings.sides = settings.sides || (backs && settings.straighten);
    const FrontSide fronts{&frontScan, &frontBoxes, frontBoxCount};   // only a back side is paired
    const QImage source = cleanScan.isNull() ? picture() : cleanScan;
    BusyCursor busy;
    // Shown once saving takes more than a second; stopping ends the run between
    // cards, and what is saved stays saved.
    QProgressDialog progress(QStringLiteral("Kaarten opslaan..."), QStringLiteral("Stoppen"), 0, count, this);
    progress.setWindowTitle(Term(Terms::Opslaan));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(1000);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    int handed = 0;
    cardTextFailed = false;
    seriesSaved.clear();
    seriesFailed.clear();
    seriesFailReason.clear();
    seriesAskedRoom = seriesStop = seriesMemoTaken = seriesMemoWritten = false;
    const QString caption = windowTitle();
    // The backs read set straight go into the cards as they are: each card is straightened once.
    const bool readStraight = backs && SameStraightening(straightBacksWith, settings) && readScanKey == source.cacheKey();
    const auto made = [this, readStraight](const ScanBox &box) {
        for (const auto &[read, picture] : straightBacks)
            if (readStraight && read == box)
                return picture;
        return QImage();
    };
    PictureSaveQueue saves;
    seriesSaves = &saves;
    const QImage work = CutOutBoxes(
        source, boxes, count, backSidePass ? &fronts : nullptr, settings,
        [&](const CardPictures &card) {
            saveSeriesCard(handed++, card, caption);
            progress.setLabelText(QStringLiteral("Kaart %1 van %2 opgeslagen").arg(handed).arg(count));
            progress.setValue(handed);
        },
        [&] { return progress.wasCanceled() || seriesStop; }, made);
    saves.finish();
    seriesSaves = nullptr;
    straightBacks.clear();
    FinishSeriesRecords();
    const bool stopped = progress.wasCanceled() || seriesStop;
    progress.close();
    if (stopped || !seriesFailed.isEmpty())
        ShowNotice(SeriesOutcomeText(count, seriesSaved, seriesFailed, seriesFailReason, stopped));
    if ((seriesWithTexts && !cardTextFailed) || seriesMemoWritten)
        ui->Memo1->clear();
    setPicture(work);
    FitPreview();
    return seriesFailed.isEmpty();
}

bool TScanform::saveSeriesCard(int cardIndex, CardPictures card, const QString &caption)
{
    const QString folder = ui->doelmap->text();
    const ScanBox &box = boxes[size_t(cardIndex)];
    const QRect rect(box.left, box.top, box.width(), box.height());
    // The back as it was read: upright when cards are set straight.
    const bool read = seriesWithTexts && cardReader && ReadingBacks();
    const int turn = read && ui->kaartenrechtzetten->isChecked() ? cardReader->turnFor(rect) : 0;
    if (turn != 0)
        TurnBackUpright(card, turn, cutOutSettings());
    if (!ui->lossekanten->isChecked())
        card.front = card.back = QImage();
    PictureCaption record;
    QString named;
    bool skip = false;
    FillCardRecord(cardIndex, record, named, skip);
    if (skip)
        return true;
    QString path = SavePath(folder, named.isEmpty() ? ui->fnedit->text() : named, ui->bestandstype->currentText());
    bool overwriting = false;
    if (path.isEmpty() || !choosePath(path, overwriting, caption))
        return false;
    CardToSave c = cardToSave(path, overwriting, card, read ? cardReader->textFor(rect) : QString());
    c.index = cardIndex;
    c.input.caption.title = record.title;
    c.input.caption.person = record.person;
    c.input.caption.subjects = record.subjects;
    // Encoded on the pool while the next card is cut out; what becomes of it is told when it is in place.
    seriesSaves->save(CardSaveUnit(c.input, [this, c](const CardSaveResult &r) { finishCard(c, r); }));
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
