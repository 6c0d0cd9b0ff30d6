// Series mode of the scan window: detection of the items on the glass, the
// Herverdeel question, the cut-out of the confirmed boxes and the placement of
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
#include "imaging/save_queue.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QApplication>
#include <QProgressDialog>
#include <QScopeGuard>
#include <algorithm>

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

    // The preview shows the clean scan again, with this run's boxes drawn on a
    // copy: a joined picture is gone from the screen.
    endJoin();
    if (boxes.empty())
        setPicture(scan);
    else
        setPicture(PreviewWithBoxes(scan, boxes, int(boxes.size()), TrailingNumber(ui->fnedit->text()),
                                    unsigned(ui->vakkleur->colour())));
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

void TScanform::SaveSeriesBoxes()
{
    const int count = int(boxes.size());
    if (count == 0)
        return;

    const CutOutSettings settings = cutOutSettings();
    // Only a back side is paired with the confirmed fronts.
    const FrontSide fronts{&frontScan, &frontBoxes, frontBoxCount};
    const QImage source = cleanScan.isNull() ? picture() : cleanScan;
    BusyCursor busy;
    // With card texts each card is saved with the text read from its own box. The
    // reading is waited for first: one progress window at a time, and its
    // Stoppen stops what it shows.
    const bool withTexts = ui->tekstachterkantlezen->isChecked(), backs = withTexts && ReadingBacks();
    if (backs)
        WaitForBackTexts();
    // Shown once saving takes more than a second; stopping ends the run between
    // cards, and what is saved stays saved.
    QProgressDialog progress(QStringLiteral("Kaarten opslaan..."), QStringLiteral("Stoppen"), 0, count, this);
    progress.setWindowTitle(Term(Terms::Opslaan));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(1000);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    int handed = 0, cardIndex = 0;
    cardTextFailed = false;
    seriesSaved.clear();
    seriesFailed.clear();
    seriesFailReason.clear();
    seriesAskedRoom = seriesStop = seriesMemoTaken = seriesMemoWritten = false;
    const auto reset = qScopeGuard([this] { cardTextProvider = nullptr; });
    if (withTexts)
        cardTextProvider = [this, &cardIndex, backs] {
            return backs && cardIndex < int(boxes.size()) ? BackTextOf(boxes[size_t(cardIndex)]) : QString();
        };
    // Each card is encoded on a free core while the next one is cut out.
    PictureSaveQueue saves;
    seriesSaves = &saves;
    const QImage work = CutOutBoxes(
        source, boxes, count, backSidePass ? &fronts : nullptr, settings,
        [&](const CardPictures &card) {
            setPicture(card.joined);
            FitPreview();
            repaint();
            pendingCard = card;
            SaveClick(nullptr);
            pendingCard = CardPictures();
            ++cardIndex;
            ++handed;
            progress.setLabelText(QStringLiteral("Kaart %1 van %2 opgeslagen").arg(handed).arg(count));
            progress.setValue(handed);
        },
        [&] { return progress.wasCanceled() || seriesStop; });
    saves.finish();
    seriesSaves = nullptr;
    const bool stopped = progress.wasCanceled() || seriesStop;
    progress.close();
    if (stopped || !seriesFailed.isEmpty())
        ShowNotice(SeriesOutcomeText(count, seriesSaved, seriesFailed, seriesFailReason, stopped));
    if ((withTexts && !cardTextFailed) || seriesMemoWritten)
        ui->Memo1->clear();
    setPicture(work);
    FitPreview();
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
