// Naming and saving: the file-name controls, SaveClick and the restart after saving.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/locations.h"
#include "common/outside.h"
#include "common/prompts.h"
#include "dialogs/busy_cursor.h"
#include "common/settings_list.h"
#include "common/terminology.h"
#include "dialogs/messages.h"
#include "dialogs/seldir.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "scanwindow/card_files.h"
#include "imaging/save_queue.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/restart_script.h"
#include "scanwindow/scan_widgets.h"
#include "ui_scanform.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// File names are case-sensitive here: a filter of "*.JPG" alone would hide "foto.jpg".
const QString kSaveDialogFilter = QStringLiteral("Jpeg (*.JPG *.jpg *.jpeg *.JPEG);;Bitmap (*.BMP *.bmp)");

// Pictures below this many pixels count as small for the after-save callback.
const qint64 kSmallPicturePixels = 1500000;

// Width of the Scan button in the layout with a scan present, not yet saved.
constexpr int kScanPresentWidth = 75;

// A full disk, a full quota or a file too large for where it goes: the next card will fail as well.
bool NoRoomLeft(int error, const QString &why)
{
    if (error)
        return error == ENOSPC || error == EDQUOT || error == EFBIG;
    for (const int e : {ENOSPC, EDQUOT, EFBIG})
        if (why.contains(DutchReason(QString::fromLocal8Bit(std::strerror(e)))))
            return true;
    return false;
}

}

int TScanform::digitCount() const
{
    return Larger(1, TextToInt(ui->numdig->text()));
}

QString TScanform::nextName(const QString &name) const
{
    const int d = digitCount();
    return nextFileName ? nextFileName(name, d) : NextFileName(name, d);
}

void TScanform::restartProgram()
{
    const QString script = ProgramFolder() + QStringLiteral("kvnscan.bat");
    if (QFileInfo::exists(script) || QFileInfo(script).isSymLink()) {
        QFile::remove(script);
        if (QFileInfo::exists(script) || QFileInfo(script).isSymLink())
            ShowNotice("Oude " + script + " kon niet verwijderd worden");
    }
    bool written = WriteFileAtomically(script, RestartScriptText(ProgramFolder(), Locations::executablePath()).toUtf8());

    StoreScanSettings();
    if (ui->startmetscan->isChecked())
        SavePictureFile(picture(), PreviewFilePath, 90, 0);
    // A new start reads its settings from the file, so they must be there first.
    bool stored = !settings || settings->saveToFile(SettingsFileName());

    // A script that could not be written must not be run: an older one may lie there.
    if (written && stored && outside().startDetached(QStringLiteral("/bin/sh"), {script}, ProgramFolder())) {
        outside().quitApplication();
        done(int(ModalResult::Ok));
        return;
    }
    ShowNotice("Herstarten [" + ShortPathOf(script) + "] lukt niet");
}

void TScanform::fneditChange()
{
    const QString name = ui->fnedit->text();
    if (name.isEmpty())
        return;
    ui->zetdoor->setText(Term(Terms::VolgendeWordt) + ": " + nextName(name));
}

void TScanform::numdigChange()
{
    ui->zetdoor->setText("volgende wordt: " + nextName(ui->fnedit->text()));
}

void TScanform::numdigClick() { numdigChange(); }

void TScanform::bestandstypeChange()
{
    QComboBox *type = ui->bestandstype;
    ui->TrackBar1->setVisible(type->count() > 0 && type->currentText() == type->itemText(0));
}

void TScanform::BrowseClick()
{
    QString chosen = prompts().saveFileName(QStringLiteral("Opslaan als"), ui->doelmap->text(),
                                            kSaveDialogFilter, QStringLiteral("jpg"));
    if (!chosen.isEmpty())
        ui->fnedit->setText(QFileInfo(chosen).fileName());
}

void TScanform::selbasislocClick()
{
    if (SelectFolder(ui->doelmap->text(), QStringLiteral("Selecteer doelmap"), dialogBaseFolder))
        ui->doelmap->setText(SelectedFolder);
}

struct TScanform::CardToSave {
    QString path, folder;
    bool small = false;
    CardPictures sides;
    int quality = 0, dpi = 0;
    PictureCaption inside;
    QString text;             // for its text file; none when empty
    QStringList leftovers;    // files of the old card at this number that this one does not rewrite
    std::shared_ptr<CardUnit> unit;
};

bool TScanform::choosePath(QString &path, bool &overwriting, const QString &caption)
{
    if (ui->altijdfnvraag->isChecked() &&
        !prompts().inputQuery(QStringLiteral("Gaat u akkoord met deze bestandsnaam ?"),
                              QStringLiteral("Suggestie:"), path)) {
        setWindowTitle(caption);
        return false;
    }
    // A typed path is worked out once: the look for an existing file and the write meet the same file.
    path = QDir::cleanPath(path);
    // Side files of a card under this name are part of it, whether or not this
    // picture has sides: they are not replaced or removed unasked either. A card
    // of the series still being encoded under this name counts as there.
    auto taken = [this](const QString &p) {
        if (seriesSaves && seriesSaves->holds(p))
            seriesSaves->finish();
        return SafeFileExists(p) || SafeFileExists(SideFilePath(p, false)) || SafeFileExists(SideFilePath(p, true));
    };
    while (taken(path)) {
        QString question = path + " " + Term(Terms::BestaatAl) + ", " + Term(Terms::Overschrijven) + " ?";
        if (AskYesNo(question, QString(), QString(), ModalResult::Yes, Term(Terms::Opslaan)) == ModalResult::Yes) {
            overwriting = true;
            return true;
        }
        ui->fnedit->setFocus();
        if (!prompts().inputQuery(Term(Terms::VeranderBestandsnaam) + " ?", Term(Terms::Nu) + ":", path)) {
            setWindowTitle(caption);
            return false;
        }
        path = QDir::cleanPath(path);
    }
    return true;
}

bool TScanform::saveCard(const QString &path, bool overwriting)
{
    CardToSave c;
    c.path = path;
    c.folder = ui->doelmap->text();
    c.small = qint64(picture().width()) * picture().height() < kSmallPicturePixels;
    c.sides = pendingCard;
    c.quality = ui->TrackBar1->value();
    // A scan is labelled with the resolution it was made at, whatever the field says.
    c.dpi = scanResolution > 0 ? scanResolution : ui->dpi->limitedValue();
    // With the backs read, a card's caption and text file hold the user's text, then its back's.
    // Otherwise the user's text goes with the picture; in a series with the first card.
    const QString memo = ui->Memo1->toPlainText();
    if (cardTextProvider) {
        const QString read = cardTextProvider();
        c.text = memo + (!memo.isEmpty() && !read.isEmpty() ? QStringLiteral("\n") : QString()) + read;
    } else if (!(seriesSaves && seriesMemoTaken)) {
        c.text = memo;
        seriesMemoTaken = seriesSaves && !memo.isEmpty();
    }
    c.inside = PictureCaption{c.text, scanTime.isValid() ? scanTime : QDateTime::currentDateTime(), c.dpi};

    // Every file of this number: overwriting replaces or removes the old card's, so a
    // number never holds two cards.
    const QString textPath = TextFilePath(path);
    const QStringList newSides = SideFilePaths(pendingCard, path);
    QStringList files = QStringList{path} + newSides;
    if (overwriting) {
        for (const QString &old : {SideFilePath(path, false), SideFilePath(path, true), textPath})
            if (!newSides.contains(old) && (old != textPath || c.text.isEmpty()) && SafeFileExists(old))
                c.leftovers << old;
        files << c.leftovers;
    }
    if (!c.text.isEmpty())
        files << textPath;
    c.unit = std::make_shared<CardUnit>(files);

    if (seriesSaves) {
        // Encoded while the next card is cut out; what becomes of it is told when known.
        seriesSaves->save(picture(), path, c.quality, c.dpi,
                          [this, c](int r) {
                              finishCard(c, r, seriesSaves->failedError(), seriesSaves->failedReason());
                          },
                          &c.inside);
        return true;
    }
    // SavePictureFile writes beside the old file and replaces it only when
    // the new one is complete, so a failed overwrite keeps the old picture.
    BusyCursor busy;
    QString why;
    const int r = SavePictureFile(pictureToSave(), path, c.quality, c.dpi, &c.inside, &why);
    return finishCard(c, r, 0, why);
}

bool TScanform::finishCard(const CardToSave &c, int result, int error, const QString &why)
{
    if (result < 0) {
        // Nothing of the card is written: no text file, the user's text kept.
        cardFailed(c.path, why, NoRoomLeft(error, why));
        return false;
    }
    QStringList written{c.path};
    QString failedSide;
    if (!SaveSideFiles(c.sides, c.path, c.quality, c.dpi, &c.inside, written, failedSide)) {
        RemoveFiles(written);   // all of a card, or none of it
        cardFailed(failedSide, QString(), false);
        return false;
    }
    QString stays;
    if (!RemoveFiles(c.leftovers, &stays))
        ShowNotice("Kon [" + stays + "] niet verwijderen.");
    setWindowTitle(c.path + " " + Term(Terms::Opgeslagen));
    QGuiApplication::clipboard()->setText(c.path);
    if (afterSave)
        afterSave(c.path, c.folder, c.small);
    seriesSaved << c.path;
    if (c.text.isEmpty())
        return true;
    const QString textPath = TextFilePath(c.path);
    QString textWhy;
    if (!WriteTextLines(textPath, c.text, &textWhy)) {
        // The text stays in the window so the user can save it again.
        cardTextFailed = true;
        ShowNotice("Kon [" + textPath + "] niet schrijven (" + textWhy + ").");
        return true;
    }
    if (cardTextProvider)
        return true;
    if (seriesSaves)
        seriesMemoWritten = true;
    else
        ui->Memo1->clear();
    return true;
}

void TScanform::cardFailed(const QString &path, const QString &reason, bool noRoom)
{
    ++failedSaves;
    cardTextFailed = true;
    if (!seriesSaves) {
        ShowMessageWindow(TermWith(Terms::OpslaanMislukt, path) + ": " + Term(Terms::ProbeerAndereNaam));
        return;
    }
    // A series tells its failures once, at its end; a full disk is asked about at once.
    seriesFailed << path;
    if (seriesFailReason.isEmpty())
        seriesFailReason = reason;
    if (noRoom && !seriesAskedRoom) {
        seriesAskedRoom = true;
        const QString question = path + " is niet opgeslagen: " + (reason.isEmpty() ? QStringLiteral("het opslagmedium is vol") : reason)
                               + ".\r\nDe serie stoppen?";
        seriesStop = AskYesNo(question, QString(), QString(), ModalResult::Yes, Term(Terms::Opslaan)) == ModalResult::Yes;
    }
}

namespace {

// Calls clicked on a left click of the watched widget.
class OnClick : public QObject {
public:
    OnClick(QObject *parent, std::function<void()> clicked) : QObject(parent), m_clicked(std::move(clicked)) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != QEvent::MouseButtonRelease || static_cast<QMouseEvent *>(e)->button() != Qt::LeftButton)
            return false;
        m_clicked();
        return true;
    }

private:
    std::function<void()> m_clicked;
};

// Long enough to read the file name in the title.
constexpr int kSavedTitleMs = 2500;

} // namespace

void TScanform::ShowSavedLine(const QStringList &paths, const QString &title)
{
    if (!savedTitleTimer) {
        savedTitleTimer = new QTimer(this);
        savedTitleTimer->setObjectName(QStringLiteral("savedTitleTimer"));
        savedTitleTimer->setSingleShot(true);
        connect(savedTitleTimer, &QTimer::timeout, this, [this] { restoreTitleAfterSave(); });
        ui->opgeslagenregel->installEventFilter(
            new OnClick(ui->opgeslagenregel, [this] { outside().openWithDesktop(savedLineFolder); }));
    }
    const QFileInfo first(paths.first()), last(paths.last());
    savedLineFolder = first.absolutePath();
    const QString names = paths.size() == 1 ? first.fileName() : first.fileName() + QStringLiteral(" t/m ") + last.fileName();
    ui->opgeslagenregel->setText(QStringLiteral("Opgeslagen: ") + names + QStringLiteral(" in ") + savedLineFolder);
    titleBeforeSave = title;
    titleAfterSave = last.filePath() + ' ' + Term(Terms::Opgeslagen);
    setWindowTitle(titleAfterSave);
    savedTitleTimer->start(kSavedTitleMs);
}

void TScanform::restoreTitleAfterSave()
{
    if (savedTitleTimer)
        savedTitleTimer->stop();
    // Unless something else has taken the title since.
    if (!titleAfterSave.isEmpty() && windowTitle() == titleAfterSave)
        setWindowTitle(titleBeforeSave);
    titleAfterSave.clear();
}

void TScanform::ShowSaveCaption()
{
    const bool present = ui->Scanbut->width() == kScanPresentWidth;
    const bool series = ui->bidprentmode->isChecked();
    // Opslaan cuts the boxes only in series mode; they pair with fronts only when fronts were confirmed.
    const int count = series ? int(boxes.size()) : 0;
    if (present && backSidePass && count > 0 && frontBoxCount > 0) {
        ui->save->setText(count == 1 ? TermWith(Terms::OpslaanVoorEnAchterkant, QStringLiteral("\r\n"))
                                     : TermWith(Terms::OpslaanVoorEnAchterkanten, QString::number(count)));
    } else if (present && joinedBackSide) {
        // A back scanned in plain mode is joined to its front: one picture.
        ui->save->setText(TermWith(Terms::OpslaanVoorEnAchterkant, QStringLiteral("\r\n")));
    } else if (present || !(series && frontBoxCount != 0)) {
        // After a save in series mode the caption stays "Opslaan", as the saved layout set it.
        const QString crlf = QStringLiteral("\r\n");
        const QString object = count <= 1 ? Term(Terms::ScanNoun) + crlf
                                          : QString::number(count) + ' ' + Term(Terms::Scans) + crlf;
        ui->save->setText(JoinWords(Term(Terms::Opslaan) + crlf, object));
    }
}

void TScanform::SaveClick(QObject *sender)
{
    if (!seriesSaves)
        restoreTitleAfterSave();   // the window's own title is what a save puts back
    const QString caption = windowTitle();
    const QString folder = ui->doelmap->text();

    if (!SafeDirectoryExists(folder) && !CreateFolder(folder)) {
        ShowNotice("Kan " + folder + " niet openen of maken. " + ui->fnedit->text() + " niet opgeslagen.");
        return;
    }
    // A type or a name that would lead out of the target folder saves nothing.
    QString outside;
    if (SavePath(folder, ui->fnedit->text(), ui->bestandstype->currentText(), &outside).isEmpty()) {
        ShowNotice(outside + ". " + ui->fnedit->text() + " niet opgeslagen.");
        return;
    }
    // What a killed save of ours left half in this folder goes first.
    RemoveHalfSavedCards(folder);
    if (!seriesSaves)
        seriesSaved.clear();

    bool failed = false;
    if (sender && ui->bidprentmode->isChecked() && !boxes.empty()) {
        const int failedBefore = failedSaves;
        SaveSeriesBoxes();   // each box comes back here without a sender
        failed = failedSaves != failedBefore;
    } else {
        QString path = SavePath(folder, ui->fnedit->text(), ui->bestandstype->currentText());
        bool overwriting = false;
        if (!choosePath(path, overwriting, caption))
            return;
        if (!saveCard(path, overwriting)) {
            failed = true;
        } else if (ui->zetdoor->isChecked()) {
            ui->fnedit->setText(nextName(ui->fnedit->text()));
        } else {
            QString name = defaultFileName ? defaultFileName(folder) : QStringLiteral("document");
            ui->fnedit->setText(SplitExtension(name).base);
        }
        setWindowTitle(caption);
    }

    // After a failed save the user is asked to try another name: the program
    // neither restarts nor pretends to have saved.
    bool restart = ProductTitle.trimmed().toLower().contains(QLatin1String("scan tool")) &&
                   sender == ui->save && ui->herstart->isChecked();
    if (restart && !failed) {
        restartProgram();
    } else {
        if (!failed)
            ShowSavedLayout();
        ui->fnedit->setFocus();
    }
    setWindowTitle(caption);
    if (!seriesSaves && !seriesSaved.isEmpty())
        ShowSavedLine(seriesSaved, caption);
}
