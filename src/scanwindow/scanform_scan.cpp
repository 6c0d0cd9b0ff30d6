// Scanning into the preview: both scan buttons, the acquisition and the
// scanner selection.
#include "scanwindow/scanform.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "common/terminology.h"
#include "dialogs/messages.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture.h"
#include "scanner/scanner_library.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "ui_scanform.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <sys/stat.h>

namespace {

void plainMessage(const QString &text)
{
    prompts().notice(text, QString());
}

void pump()
{
    QCoreApplication::processEvents();
}

// What identifies the file at the preview path, so that a scan that wrote
// nothing is told apart from one that wrote a new picture.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileStamp of(const QString &path)
    {
        FileStamp s;
        struct stat st {};
        if (::stat(NativePath(path).constData(), &st) == 0) {
            s.exists = true;
            s.device = st.st_dev;
            s.inode = st.st_ino;
            s.size = st.st_size;
            s.modified = st.st_mtim;
        }
        return s;
    }
    bool operator==(const FileStamp &o) const
    {
        if (exists != o.exists)
            return false;
        if (!exists)
            return true;
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
               && modified.tv_nsec == o.modified.tv_nsec;
    }
};

}

QString TooLargeNotice(const QString &path)
{
    return path + QStringLiteral(" is te groot voor het geheugen van deze computer en kan niet getoond worden. "
                                 "Het bestand blijft bewaard.");
}

int TScanform::safeAvailable()
{
    int available = 0;
    CallScannerLibrary(QStringLiteral("beschikbaarheid nagaan"), [&available] { available = scannerLibrary().IsAvailable(); });
    return available;
}

void TScanform::ScanbutClick(QObject *sender)
{
    if (scanning)
        return;
    scanning = true;
    const auto busy = qScopeGuard([this] { scanning = false; });

    if (safeAvailable() == 0)
        selsourceClick();
    const bool back = sender == ui->scanachterkant;
    const int resolution = TextToIntDef(back ? ui->dpiachter->text() : ui->dpi->text(), 300);

    // A press that brings no new picture leaves the window as it was.
    const bool oldBackSidePass = backSidePass, oldJoined = joinedBackSide;
    QImage oldClean = cleanScan;

    backSidePass = back;
    const bool seriesMode = ui->bidprentmode->isChecked();
    QImage front;
    if (back && !seriesMode)
        front = picture();

    if (!AcquireScan(picture(), !ui->metui->isChecked(), resolution)) {
        if (noNewPicture) {
            // AcquireScan left the picture alone; the clean scan and flags go back.
            backSidePass = oldBackSidePass;
            joinedBackSide = oldJoined;
            cleanScan = oldClean;
            ui->fnedit->setFocus();
            return;
        }
        plainMessage(QStringLiteral("Vexlo kan geen scanner vinden, of heeft te weinig geheugen om te scannen."));
        done(int(ModalResult::Cancel));
        return;
    }
    oldClean = QImage();   // no longer needed: let a large old scan go
    cleanScan = picture();
    pictureUnsaved = true;
    scanTime = QDateTime::currentDateTime();
    // A joined picture or a back box beside its front is labelled as the front.
    if (!back || (seriesMode && frontBoxCount == 0))
        scanResolution = BmpResolution(PreviewFilePath);

    if (back && !seriesMode) {
        joinedBackSide = true;
        joinedFront = front;
        joinedBack = cleanScan;
        joinedPlacement = backSidePlacement();
        setPicture(RelayoutBackSide(joinedFront, joinedBack, joinedPlacement));
        front = QImage();
    } else {
        endJoin();
    }

    FitPreview();
    ShowScanPresentLayout();
    if (seriesMode)
        TestverdelingClick(sender);
    ui->fnedit->setFocus();
}

bool TScanform::AcquireScan(QImage &target, bool hideDialog, int resolution)
{
    noNewPicture = false;
    ScannerLibrary &lib = scannerLibrary();
    // QImage holds no drawing resources beyond its pixels: nothing to give back.
    if (safeAvailable() != 1) {
        plainMessage(QStringLiteral("1 Geen scanner geselecteerd"));
        return false;
    }
    pump();
    CallScannerLibrary(QStringLiteral("instellen"), [&lib, hideDialog] { lib.SetHideUI(hideDialog ? 1 : 0); });
    pump();
    if (safeAvailable() != 1) {
        plainMessage(QStringLiteral("Problemen met de scanner."));
        return false;
    }
    pump();
    int version = 0;
    CallScannerLibrary(QStringLiteral("versie nagaan"), [&lib, &version] { version = lib.EasyVersion(); });
    if (version > 113)
        OpenSourceAtResolution(resolution);
    pump();
    pump();

    awaitPreviewFile();   // the scanner writes the same file
    const FileStamp before = FileStamp::of(PreviewFilePath);
    const bool acquired = CallScannerLibrary(QStringLiteral("scannen"), [this, &lib] {
        lib.AcquireToFilename(static_cast<QWidget *>(this), PreviewFilePath);
    });
    pump();
    if (!acquired)
        return false;
    if (FileStamp::of(PreviewFilePath) == before) {
        // Cancelled, or the device gave up: the file is the old one (or still none).
        noNewPicture = true;
        return false;
    }

    QImage scan;
    cleanScan = QImage();
    if (QFile::exists(PreviewFilePath)) {
        if (!LoadScanPicture(scan, PreviewFilePath)) {
            scan = QImage();
            if (PictureTooLargeForMemory(PreviewFilePath)) {
                ShowNotice(TooLargeNotice(PreviewFilePath));
            } else {
                // Deleting is the user's own choice, never the default.
                const QString text = TermWith(Terms::KanBestandNietOpenen, PreviewFilePath) + QStringLiteral(", ")
                                     + Term(Terms::Verwijderen) + QStringLiteral(" ?");
                if (AskYesNo(text, QString(), QString(), ModalResult::No, QStringLiteral("Scanfout")) == ModalResult::Yes)
                    QFile::remove(PreviewFilePath);
            }
        }
    }
    target = scan;
    if (&target == &picture())
        pictureChanged();
    return true;
}

void TScanform::OpenSourceAtResolution(int resolution)
{
    ScannerLibrary &lib = scannerLibrary();
    // The reason goes to the log; the user is told the library is not the right one.
    if (!CallScannerLibrary(QStringLiteral("openen"), [&lib, resolution] {
            if (lib.OpenDefaultSource())
                lib.SetCurrentResolution(double(resolution));
        }, false))
        plainMessage(QStringLiteral("Niet de juiste EZTW32.DLL: "));
}

void TScanform::selsourceClick()
{
    CallScannerLibrary(QStringLiteral("scanner kiezen"), [] { scannerLibrary().SelectImageSource(nullptr); });
    ui->fnedit->setFocus();
}

void TScanform::metuiClick() {}
