#include "split/split_cards.h"

#include "codec/freeimage_library.h"
#include "common/filez.h"
#include "detection/cut_out.h"
#include "detection/reading_order.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "ocr/back_text.h"
#include "records/card_naming.h"
#include "scanwindow/card_files.h"
#include "scanwindow/card_save.h"
#include "scanwindow/file_naming.h"
#include "split/split_files.h"

#include <QDateTime>
#include <sys/stat.h>

bool CanWriteType(const QString &type)
{
    const QString probe = QStringLiteral("kaart") + type;
    if (HasDirectWriter(probe) || !IsImageLibraryLoaded())
        return HasDirectWriter(probe);
    const FreeImageFunctions &fi = FI();
    const FREE_IMAGE_FORMAT fif = fi.GetFIFFromFilename(probe.toLatin1().constData());
    return fif != FIF_UNKNOWN && fi.FIFSupportsWriting(fif) && (fif == FIF_GIF || fi.FIFSupportsExportBPP(fif, 24));
}

QString FirstCardName(const SplitOptions &o) { return HasFileNumber(o.name) ? o.name : NextFileName(o.name, o.digits); }

QString NameAfter(QString name, int count, int digits)
{
    for (int i = 0; i < count; ++i)
        name = NextFileName(name, digits);
    return name;
}

namespace {

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

QDateTime ModifiedTime(const QString &path)
{
    struct stat st;
    if (::stat(NativePath(path).constData(), &st) != 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(st.st_mtime);
}

// Saves the cards one by one, as the window's series does, and stops at the first failure.
struct CardWriter {
    CardWriter(const SplitOptions &options, const QString &folder, const QString &first, const PictureCaption &scanned)
        : o(options), folder(folder), name(first), text(o.text), scanned(scanned)
    {
    }
    const SplitOptions &o;
    QString folder, name, text;   // name: the window's numbering, the next card's
    PictureCaption scanned;
    const QImage *back = nullptr;
    QImage alone;   // the card's back alone, as the cut-out makes it
    QStringList *written = nullptr;
    QList<CardRecord> *records = nullptr;   // with --record: each saved card's
    QString read;   // what the last back said
    QString failure;

    // The back of box alone, made once before its card: read for its text and,
    // set straight without whitening, placed in the card as it is. It is made as
    // the window's cut-out makes it: turned upright with --straighten, and what
    // lies beyond the scan's edge in the fill colour.
    QImage madeBack(const ScanBox &box)
    {
        alone = o.ocr && back ? BoxAlone(*back, box, o.cut) : QImage();
        return o.cut.straighten ? alone : QImage();
    }

    // Every card its own text: the given one, then what its back says.
    bool readBack()
    {
        read = ReadBackText(alone, Dpi(*back), o.lang, nullptr, &failure);
        text = o.text.isEmpty() || read.isEmpty() ? o.text + read : o.text + '\n' + read;
        return failure.isEmpty();
    }

    void operator()(const CardPictures &card)
    {
        if (!failure.isEmpty() || (o.ocr && back && !readBack()))
            return;
        CardRecord record;
        if (o.record) {
            record.facts = ReadCardFacts(read);
            record.text = read;
        }
        // A name from the facts where they are certain, else the window's numbering.
        const QString fromFacts = o.namePattern.isEmpty() ? QString()
            : CardFileName(o.namePattern, record.facts, o.type,
                           [this](const QString &n) { return Taken(folder + QLatin1Char('/') + n); });
        // One path, checked once, for the look and the write.
        const QString path = SavePath(folder, fromFacts.isEmpty() ? name : fromFacts + o.type, o.type, &failure);
        if (path.isEmpty())
            return;
        const bool withText = !text.isEmpty() || (o.ocr && back);
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
        if (o.record) {
            caption.title = CardTitle(record.facts);
            caption.person = record.facts.fullName();
            caption.subjects = CardSubjects(record.facts);
        }
        // The whole card as one unit: nothing of it appears when a part fails.
        CardSaveInput input{card.joined, card.front, card.back, path, o.quality, caption.dpi, withText ? text : QString(), caption, {}};
        input.emptyText = withText;
        const CardSaveResult result = SaveCardNow(input);
        if (!result.ok) {
            const bool textFailed = result.failed == TextFilePath(path);
            failure = QStringLiteral("kan [%1] niet %2 (%3)")
                          .arg(result.failed, textFailed ? QStringLiteral("schrijven") : QStringLiteral("opslaan"),
                               result.reason.isEmpty() ? QStringLiteral("reden onbekend") : result.reason);
            return;
        }
        *written << result.files;
        text.clear();
        if (records) {
            const QStringList sides = SideFilePaths(card, path);
            record.file = FileNameOf(path);
            record.front = sides.size() > 0 ? FileNameOf(sides[0]) : QString();
            record.back = sides.size() > 1 ? FileNameOf(sides[1]) : QString();
            *records << record;
        }
        if (fromFacts.isEmpty())
            name = NextFileName(name, o.digits);
    }

    static QString FileNameOf(const QString &path) { return path.section(QLatin1Char('/'), -1); }
};

} // namespace

bool LoadAndDetect(const SplitOptions &o, const QStringList &scans, LoadedScans &loaded, QString &why)
{
    for (int i = 0; i < scans.size(); ++i)
        if (!LoadScan(scans[i], i == 0 ? loaded.front : loaded.back, why)) {
            why = QStringLiteral("kan [%1] niet lezen (%2)").arg(scans[i], why);
            return false;
        }
    loaded.frontBoxes = Detect(o, loaded.front, loaded.front);
    loaded.boxes = loaded.back.isNull() ? loaded.frontBoxes : Detect(o, loaded.front, loaded.back);
    if (loaded.boxes.empty())
        why = QStringLiteral("geen kaarten gevonden op [%1]").arg(scans.back());
    return !loaded.boxes.empty();
}

bool SaveCards(const SplitOptions &o, const QStringList &scans, LoadedScans &loaded, const QString &folder,
               const QString &name, const std::function<bool()> &stop, QStringList &written, QString &why,
               QList<CardRecord> *records)
{
    const bool withBack = !loaded.back.isNull();
    CardWriter writer(o, folder, name, PictureCaption{QString(), ModifiedTime(scans.back()), Dpi(loaded.front)});
    writer.written = &written;
    writer.records = records;
    const FrontSide fronts{&loaded.front, &loaded.frontBoxes, int(loaded.frontBoxes.size())};
    writer.back = withBack ? &loaded.back : nullptr;
    CutOutBoxes(withBack ? loaded.back : loaded.front, loaded.boxes, int(loaded.boxes.size()), withBack ? &fronts : nullptr,
                o.cut, [&writer](const CardPictures &card) { writer(card); },
                [&] { return !writer.failure.isEmpty() || (stop && stop()); },
                [&writer](const ScanBox &box) { return writer.madeBack(box); });
    why = writer.failure;
    return why.isEmpty();
}
