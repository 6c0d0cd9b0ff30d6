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

namespace {

// File names are case-sensitive here: a filter of "*.JPG" alone would hide "foto.jpg".
const QString kSaveDialogFilter = QStringLiteral("Jpeg (*.JPG *.jpg *.jpeg *.JPEG);;Bitmap (*.BMP *.bmp)");

// Pictures below this many pixels count as small for the after-save callback.
const qint64 kSmallPicturePixels = 1500000;

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

void TScanform::SaveClick(QObject *sender)
{
    const QString caption = windowTitle();
    const QString folder = ui->doelmap->text();

    if (!SafeDirectoryExists(folder) && !CreateFolder(folder)) {
        ShowNotice("Kan " + folder + " niet openen of maken. " + ui->fnedit->text() + " niet opgeslagen.");
        return;
    }

    bool failed = false;
    if (sender && ui->bidprentmode->isChecked() && !boxes.empty()) {
        const int failedBefore = failedSaves;
        SaveSeriesBoxes();   // each box comes back here without a sender
        failed = failedSaves != failedBefore;
    } else {
        QString path = WithTrailingBackslash(folder) + SplitExtension(ui->fnedit->text()).base.trimmed() +
                       ui->bestandstype->currentText();

        if (ui->altijdfnvraag->isChecked() &&
            !prompts().inputQuery(QStringLiteral("Gaat u akkoord met deze bestandsnaam ?"),
                                  QStringLiteral("Suggestie:"), path)) {
            setWindowTitle(caption);
            return;
        }

        // A card's side files are part of it: they are not overwritten unasked either.
        // A card of the series still being encoded under this name counts as there,
        // and so do its side files: they are not overwritten unasked either.
        auto taken = [this](const QString &p) {
            if (seriesSaves && seriesSaves->holds(p))
                seriesSaves->finish();
            if (SafeFileExists(p))
                return true;
            for (const QString &side : SideFilePaths(pendingCard, p))
                if (SafeFileExists(side))
                    return true;
            return false;
        };
        while (taken(path)) {
            QString question =
                path + " " + Term(Terms::BestaatAl) + ", " + Term(Terms::Overschrijven) + " ?";
            if (AskYesNo(question, QString(), QString(), ModalResult::Yes, Term(Terms::Opslaan)) == ModalResult::Yes)
                break;
            ui->fnedit->setFocus();
            if (!prompts().inputQuery(Term(Terms::VeranderBestandsnaam) + " ?", Term(Terms::Nu) + ":", path)) {
                setWindowTitle(caption);
                return;
            }
        }

        const bool small = qint64(picture().width()) * picture().height() < kSmallPicturePixels;
        // The host hears of a file once it is in place.
        const auto saved = [this, path, folder, small](int r) {
            if (r < 0) {
                ++failedSaves;
                ShowMessageWindow(TermWith(Terms::OpslaanMislukt, path) + ": " + Term(Terms::ProbeerAndereNaam));
            } else if (afterSave) {
                afterSave(path, folder, small);
            }
            return r >= 0;
        };
        // SavePictureFile writes beside the old file and replaces it only when
        // the new one is complete, so a failed overwrite keeps the old picture.
        // The accompanying text also goes inside the picture; without one the file is as before.
        // A scan is labelled with the resolution it was made at, whatever the field says.
        const int dpi = scanResolution > 0 ? scanResolution : ui->dpi->limitedValue();
        // With the backs read, a card's caption and text file hold the user's text, then its back's.
        QString cardWholeText = ui->Memo1->toPlainText();
        if (cardTextProvider) {
            const QString read = cardTextProvider();
            if (!cardWholeText.isEmpty() && !read.isEmpty())
                cardWholeText += '\n';
            cardWholeText += read;
        }
        const PictureCaption inside{cardWholeText,
                                     scanTime.isValid() ? scanTime : QDateTime::currentDateTime(), dpi};
        // A card of a series has its name fixed here and is encoded while the
        // next card is cut out; its failure is told when known.
        bool ok = true;
        if (seriesSaves) {
            seriesSaves->save(picture(), path, ui->TrackBar1->value(), dpi, saved, &inside);
        } else {
            BusyCursor busy;
            ok = saved(SavePictureFile(picture(), path, ui->TrackBar1->value(), dpi, &inside));
        }
        QStringList sides;
        QString failedSide;
        if (ok && !SaveSideFiles(pendingCard, path, ui->TrackBar1->value(), dpi, &inside, sides, failedSide))
            ShowMessageWindow(TermWith(Terms::OpslaanMislukt, failedSide) + ": " + Term(Terms::ProbeerAndereNaam));
        if (!ok) {
            failed = true;
            cardTextFailed = true;
        } else {
            setWindowTitle(path + " " + Term(Terms::Opgeslagen));
            QGuiApplication::clipboard()->setText(path);

            const QString text = ui->Memo1->toPlainText();
            if (cardTextProvider) {
                // Every card its own file: the user's text, then its back's.
                const QString textPath = TextFilePath(path);
                QString why;
                if (!WriteTextLines(textPath, cardWholeText, &why)) {
                    cardTextFailed = true;
                    ShowNotice("Kon [" + textPath + "] niet schrijven (" + why + ").");
                }
            } else if (!text.isEmpty()) {
                const QString textPath = TextFilePath(path);
                QString why;
                if (WriteTextLines(textPath, text, &why))
                    ui->Memo1->clear();
                else   // keep the text so the user can save it again
                    ShowNotice("Kon [" + textPath + "] niet schrijven (" + why + ").");
            }

            if (ui->zetdoor->isChecked()) {
                ui->fnedit->setText(nextName(ui->fnedit->text()));
            } else {
                QString name = defaultFileName ? defaultFileName(folder) : QStringLiteral("document");
                ui->fnedit->setText(SplitExtension(name).base);
            }
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
}
