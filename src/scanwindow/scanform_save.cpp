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
#include "scanwindow/card_save.h"
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

    awaitPreviewFile();
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

TScanform::CardToSave TScanform::cardToSave(const QString &path, bool overwriting, const CardPictures &card,
                                            const QString &backText)
{
    CardToSave c;
    CardSaveInput &in = c.input;
    in.path = path;
    in.joined = card.joined;
    in.front = card.front;
    in.back = card.back;
    c.folder = ui->doelmap->text();
    c.small = qint64(card.joined.width()) * card.joined.height() < kSmallPicturePixels;
    in.quality = ui->TrackBar1->value();
    // A scan is labelled with the resolution it was made at, whatever the field says.
    in.dpi = scanResolution > 0 ? scanResolution : ui->dpi->limitedValue();
    // With the backs read, a card's caption and text file hold the user's text, then its back's.
    // Otherwise the user's text goes with the picture; in a series with the first card.
    const QString memo = ui->Memo1->toPlainText();
    if (seriesWithTexts) {
        in.text = memo + (!memo.isEmpty() && !backText.isEmpty() ? QStringLiteral("\n") : QString()) + backText;
    } else if (!(seriesSaves && seriesMemoTaken)) {
        in.text = memo;
        seriesMemoTaken = seriesSaves && !memo.isEmpty();
    }
    in.caption = PictureCaption{in.text, scanTime.isValid() ? scanTime : QDateTime::currentDateTime(), in.dpi};
    // Overwriting replaces or removes every file of the old card, so a number never holds two cards.
    if (overwriting) {
        const QStringList own = CardSave(in).paths();
        for (const QString &old : {SideFilePath(path, false), SideFilePath(path, true), TextFilePath(path)})
            if (!own.contains(old) && SafeFileExists(old))
                in.leftovers << old;
    }
    return c;
}

bool TScanform::finishCard(const CardToSave &c, const CardSaveResult &r)
{
    const QString &path = c.input.path;
    if (!r.ok) {
        // Nothing of the card is written: no text file, the user's text kept.
        cardFailed(r.failed, r.reason, r.noRoom() ? ENOSPC : r.error);
        return false;
    }
    if (!r.kept.isEmpty())
        ShowNotice("Kon [" + r.kept + "] niet verwijderen.");
    setWindowTitle(path + " " + Term(Terms::Opgeslagen));
    QGuiApplication::clipboard()->setText(path);
    if (afterSave)
        afterSave(path, c.folder, c.small);
    seriesSaved << path;
    if (c.index >= 0)
        RecordSavedCard(c.index, path, c.input.front.isNull() || c.input.back.isNull() ? QStringList() : r.files.mid(1, 2));
    if (c.input.text.isEmpty() || seriesWithTexts)
        return true;
    if (seriesSaves)
        seriesMemoWritten = true;
    else
        ui->Memo1->clear();
    return true;
}

namespace {

// Failures a different name may cure: the name itself, or what already has it.
bool NameIsTheCause(int error, const QString &reason)
{
    if (error == 0)
        return reason.isEmpty();
    for (const int e : {ENAMETOOLONG, EISDIR, EINVAL, EILSEQ, ELOOP, EEXIST, ENOTDIR})
        if (error == e)
            return true;
    return false;
}

} // namespace

void TScanform::cardFailed(const QString &path, const QString &reason, int error)
{
    ++failedSaves;
    cardTextFailed = true;
    if (!seriesSaves) {
        ShowMessageWindow(TermWith(Terms::OpslaanMislukt, path) + ": "
                          + (NameIsTheCause(error, reason) ? Term(Terms::ProbeerAndereNaam) : reason));
        return;
    }
    // A series tells its failures once, at its end; a full disk is asked about at once.
    seriesFailed << path;
    if (seriesFailReason.isEmpty())
        seriesFailReason = reason;
    const bool noRoom = error == ENOSPC || error == EDQUOT || error == EFBIG;
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

bool TScanform::readyTargetFolder(const QString &folder)
{
    if (!SafeDirectoryExists(folder) && !CreateFolder(folder)) {
        ShowNotice("Kan " + folder + " niet openen of maken. " + ui->fnedit->text() + " niet opgeslagen.");
        return false;
    }
    // A type or a name that would lead out of the target folder saves nothing.
    QString outside;
    if (SavePath(folder, ui->fnedit->text(), ui->bestandstype->currentText(), &outside).isEmpty()) {
        ShowNotice(outside + ". " + ui->fnedit->text() + " niet opgeslagen.");
        return false;
    }
    // What a killed save of ours left half in this folder goes first.
    RemoveHalfSavedCards(folder);
    return true;
}

void TScanform::nameNextCard(const QString &folder)
{
    if (ui->zetdoor->isChecked()) {
        ui->fnedit->setText(nextName(ui->fnedit->text()));
    } else {
        QString name = defaultFileName ? defaultFileName(folder) : QStringLiteral("document");
        ui->fnedit->setText(SplitExtension(name).base);
    }
}

int TScanform::savePlain(const QString &folder, const QString &caption)
{
    QString path = SavePath(folder, ui->fnedit->text(), ui->bestandstype->currentText());
    bool overwriting = false;
    if (!choosePath(path, overwriting, caption))
        return -1;
    const CardToSave card = cardToSave(path, overwriting, CardPictures{pictureToSave(), {}, {}}, QString());
    CardSaveResult result;
    {
        BusyCursor busy;
        result = SaveCardNow(card.input);
    }
    const bool saved = finishCard(card, result);
    if (saved)
        nameNextCard(folder);
    setWindowTitle(caption);
    return saved ? 1 : 0;
}

void TScanform::afterSaveClick(QObject *sender, bool failed, const QString &caption)
{
    // After a failed save the user is asked to try another name: the program
    // neither restarts nor pretends to have saved.
    const bool restart = ProductTitle.trimmed().toLower().contains(QLatin1String("scan tool")) &&
                         sender == ui->save && ui->herstart->isChecked();
    if (restart && !failed) {
        restartProgram();
    } else {
        if (!failed)
            ShowSavedLayout();
        ui->fnedit->setFocus();
    }
    setWindowTitle(caption);
    if (!seriesSaved.isEmpty())
        ShowSavedLine(seriesSaved, caption);
}

void TScanform::SaveClick(QObject *sender)
{
    restoreTitleAfterSave();   // the window's own title is what a save puts back
    const QString caption = windowTitle();
    const QString folder = ui->doelmap->text();
    if (!readyTargetFolder(folder))
        return;
    seriesSaved.clear();
    bool failed = false;
    if (sender && ui->bidprentmode->isChecked() && !boxes.empty()) {
        failed = !SaveSeriesBoxes();
    } else {
        const int saved = savePlain(folder, caption);
        if (saved < 0)
            return;
        failed = saved == 0;
    }
    afterSaveClick(sender, failed, caption);
}
