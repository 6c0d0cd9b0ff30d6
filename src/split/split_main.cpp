// kvnscan-split: series mode on scans already on disk. Runs the scan window's
// own detection, reading order, pairing, cut-out and saving on FRONT (and
// BACK), and prints each file it writes.
#include "codec/freeimage_library.h"
#include "common/filez.h"
#include "common/prompts.h"
#include "detection/cut_out.h"
#include "detection/reading_order.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "ocr/back_text.h"
#include "scanwindow/card_files.h"
#include "scanwindow/file_naming.h"
#include "split/split_files.h"
#include "split/split_options.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Texts go out in the bytes of the paths they name, whatever those are.
void Print(FILE *stream, const QString &text) { std::fputs((NativePath(text) + '\n').constData(), stream); }

int Fail(const QString &why, int code = 1)
{
    Print(stderr, QStringLiteral("kvnscan-split: ") + why);
    return code;
}

// Notices of the saving code go to stderr: there is nobody to click them away.
class ErrorStreamPrompts : public SilentPrompts {
public:
    ModalResult notice(const QString &text, const QString &) override
    {
        Fail(text);
        return ModalResult::Ok;
    }
};

// Our own writers, or one of the image library's that takes the 24-bit cards.
bool CanWriteType(const QString &type)
{
    const QString probe = QStringLiteral("kaart") + type;
    if (HasDirectWriter(probe) || !IsImageLibraryLoaded())
        return HasDirectWriter(probe);
    const FreeImageFunctions &fi = FI();
    const FREE_IMAGE_FORMAT fif = fi.GetFIFFromFilename(probe.toLatin1().constData());
    return fif != FIF_UNKNOWN && fi.FIFSupportsWriting(fif) && (fif == FIF_GIF || fi.FIFSupportsExportBPP(fif, 24));
}

int Dpi(const QImage &scan) { return int(scan.dotsPerMeterX() / 39.37 + 0.5); }

// The window's frame covers the same part of every scan, whatever its size.
PixelSelection SelectionFor(const SplitOptions &o, const QImage &front, const QImage &scan)
{
    if (!o.haveSelection)
        return {0, 0, scan.width(), scan.height()};
    auto scale = [](int v, int to, int from) { return from > 0 ? int(qint64(v) * to / from) : v; };
    const PixelSelection &s = o.selection;
    return {scale(s.left, scan.width(), front.width()), scale(s.top, scan.height(), front.height()),
            scale(s.right, scan.width(), front.width()), scale(s.bottom, scan.height(), front.height())};
}

ScanBoxList Detect(const SplitOptions &o, const QImage &front, const QImage &scan)
{
    ScanBoxList boxes = DetectItems(scan, SelectionFor(o, front, scan), o.detection);
    OrderBoxes(boxes, o.detection.columns);
    return boxes;
}

// Saves the cards one by one, as the window's series does, and stops at the first failure.
struct CardWriter {
    CardWriter(const SplitOptions &options, const QString &folder, const PictureCaption &scanned)
        : o(options), folder(folder), name(HasFileNumber(o.name) ? o.name : NextFileName(o.name, o.digits)),
          text(o.text), scanned(scanned)
    {
    }
    const SplitOptions &o;
    QString folder, name, text;   // name: the window's numbering, the first card as the window would name it
    PictureCaption scanned;
    const QImage *back = nullptr;
    const ScanBoxList *boxes = nullptr;
    size_t cardIndex = 0;
    QStringList written;
    QString failure;

    // Every card its own text: the given one, then what its back says. The
    // boxes are in reading order by now, one card each; with --straighten the
    // back is read as saved, turned upright first.
    bool readBack()
    {
        const ScanBox &b = (*boxes)[cardIndex++];
        const QImage picture = o.cut.straighten ? BoxAlone(*back, b, o.cut) : back->copy(b.left, b.top, b.width(), b.height());
        const QString read = ReadBackText(picture, Dpi(*back), o.lang, nullptr, &failure);
        text = o.text.isEmpty() || read.isEmpty() ? o.text + read : o.text + '\n' + read;
        return failure.isEmpty();
    }

    bool saved(const QString &path, const QString &what, bool ok, const QString &reason)
    {
        if (!ok)
            failure = QStringLiteral("kan [%1] niet %2 (%3)").arg(path, what, reason);
        else
            written << path;
        return ok;
    }

    void operator()(const CardPictures &card)
    {
        if (!failure.isEmpty() || (o.ocr && !readBack()))
            return;
        // One path, checked once, for the look and the write.
        const QString path = SavePath(folder, name, o.type, &failure);
        if (path.isEmpty())
            return;
        const bool withText = !text.isEmpty() || o.ocr;
        // Existing files are never overwritten: the user chooses another name or folder.
        QStringList paths = QStringList{path} + SideFilePaths(card, path);
        if (withText)
            paths << TextFilePath(path);
        for (const QString &p : paths)
            if (Taken(p)) {
                failure = p + QStringLiteral(" bestaat al");
                return;
            }
        PictureCaption caption = scanned;
        caption.text = text;
        // The joined picture, then its sides: each with the system's reason when it fails.
        const QStringList pictures = QStringList{path} + SideFilePaths(card, path);
        for (int i = 0; i < pictures.size(); ++i) {
            const QImage &picture = i == 0 ? card.joined : i == 1 ? card.front : card.back;
            QString why;
            const bool ok = SavePictureFile(picture, pictures[i], o.quality, caption.dpi, &caption, &why) >= 0;
            if (!saved(pictures[i], QStringLiteral("opslaan"), ok, why.isEmpty() ? QStringLiteral("reden onbekend") : why))
                return;
        }
        // As in the window: the accompanying text goes with the first picture saved.
        QString why;
        if (withText && !saved(TextFilePath(path), QStringLiteral("schrijven"), WriteTextLines(TextFilePath(path), text, &why), why))
            return;
        text.clear();
        name = NextFileName(name, o.digits);
    }
};

QDateTime ModifiedTime(const QString &path)
{
    struct stat st;
    if (::stat(NativePath(path).constData(), &st) != 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(st.st_mtime);
}

// Nothing half-done stays behind: every file of a failed run goes again, and
// every folder it made.
int Undo(const CardWriter &writer, const QStringList &created, const QString &why)
{
    for (const QString &p : writer.written)
        ::unlink(NativePath(p).constData());
    for (auto f = created.crbegin(); f != created.crend(); ++f)
        ::rmdir(NativePath(*f).constData());
    return Fail(why);
}

int Split(const SplitOptions &o)
{
    if (!CanWriteType(o.type))
        return Fail(QStringLiteral("--type %1: dit bestandstype kan dit programma niet schrijven").arg(o.type), 2);
    QImage frontScan, backScan;
    QString why;
    for (int i = 0; i < o.scans.size(); ++i)
        if (!LoadScan(o.scans[i], i == 0 ? frontScan : backScan, why))
            return Fail(QStringLiteral("kan [%1] niet lezen (%2)").arg(o.scans[i], why));
    const bool withBack = o.scans.size() > 1;
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(o.out));
    QStringList created;
    CardWriter writer(o, folder, PictureCaption{QString(), ModifiedTime(o.scans.back()), Dpi(frontScan)});
    if (!MakeFolder(folder, created, why))
        return Undo(writer, created, why);

    const ScanBoxList frontBoxes = Detect(o, frontScan, frontScan);
    ScanBoxList boxes = withBack ? Detect(o, frontScan, backScan) : frontBoxes;
    if (boxes.empty())
        return Undo(writer, created, QStringLiteral("geen kaarten gevonden op [%1]").arg(o.scans.back()));
    const FrontSide fronts{&frontScan, &frontBoxes, int(frontBoxes.size())};
    writer.back = withBack ? &backScan : nullptr;
    writer.boxes = &boxes;
    CutOutBoxes(withBack ? backScan : frontScan, boxes, int(boxes.size()), withBack ? &fronts : nullptr, o.cut,
                [&writer](const CardPictures &card) { writer(card); });
    if (!writer.failure.isEmpty())
        return Undo(writer, created, writer.failure);
    for (const QString &p : writer.written)
        Print(stdout, p);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    static ErrorStreamPrompts errorPrompts;
    setDefaultPrompts(&errorPrompts);

    // The arguments by their bytes: a folder name that is not UTF-8 stays the same folder.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << PathFromNative(QByteArray(argv[i]));
    SplitOptions o;
    const QString wrong = ReadSplitOptions(args, o);
    if (o.help) {
        std::fputs(kSplitUsage, stdout);
        return 0;
    }
    if (!wrong.isEmpty()) {
        Fail(wrong);
        std::fputs("meer uitleg: kvnscan-split --help\n", stderr);
        return 2;
    }
    return Split(o);
}
