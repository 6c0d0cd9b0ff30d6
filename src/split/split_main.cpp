// kvnscan-split: series mode on scans already on disk. Runs the scan window's
// own detection, reading order, pairing, cut-out and saving on FRONT (and
// BACK), and prints each file it writes.
#include "common/prompts.h"
#include "detection/cut_out.h"
#include "detection/detection_options.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "imaging/picture_caption.h"
#include "imaging/picture_file.h"
#include "ocr/back_text.h"
#include "scanwindow/card_files.h"
#include "scanwindow/file_naming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace {

const char *const kUsageText =
    "gebruik: kvnscan-split VOORKANT [ACHTERKANT] --out MAP [--name kaart] [--type .JPG] [--quality 90]\n"
    "                     [--digits 3] [--background RRGGBB] [--tolerance 3] [--min-size N] [--margin 2]\n"
    "                     [--columns 0] [--selection L,T,R,B] [--below] [--white] [--straighten] [--sides]\n"
    "                     [--text TEKST] [--ocr] [--lang nld|eng|fra|deu]\n";

int Fail(const QString &why, int code = 1)
{
    std::fprintf(stderr, "kvnscan-split: %s\n", qPrintable(why));
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

struct Options {
    QStringList scans;
    QString out, name = QStringLiteral("kaart"), type = QStringLiteral(".JPG"), text;
    int quality = 90, digits = 3;
    DetectionSettings detection;
    PixelSelection selection;
    bool haveSelection = false;
    bool ocr = false;   // each card's text file and caption get the text read from its back
    QString lang = QStringLiteral("nld");   // the Tesseract language it is read in
    CutOutSettings cut;
};

// Empty when the options are sound, else what is wrong with them.
QString ReadOptions(const QStringList &args, Options &o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            o.scans << a;
            continue;
        }
        if (a == QLatin1String("--below")) {
            o.cut.placement = 1;
            continue;
        }
        bool *flag = a == QLatin1String("--white")      ? &o.cut.whiten
                   : a == QLatin1String("--straighten") ? &o.cut.straighten
                   : a == QLatin1String("--sides")      ? &o.cut.sides
                                                        : nullptr;
        if (flag) {
            *flag = true;
            continue;
        }
        if (a == QLatin1String("--ocr")) {
            o.ocr = true;
            continue;
        }
        static const QStringList valued = {"--out", "--name", "--type", "--text", "--quality", "--digits",
                                           "--background", "--tolerance", "--min-size", "--margin",
                                           "--columns", "--selection", "--lang"};
        if (!valued.contains(a))
            return QStringLiteral("onbekende optie ") + a;
        if (i + 1 >= args.size())
            return a + QStringLiteral(" zonder waarde");
        const QString v = args[++i];
        QString error;
        if (ReadDetectionOption(a, v, o.detection, o.selection, o.haveSelection, error)) {
            if (!error.isEmpty())
                return error;
            continue;
        }
        bool ok = true;
        if (a == QLatin1String("--out"))
            o.out = v;
        else if (a == QLatin1String("--name"))
            o.name = v;
        else if (a == QLatin1String("--type"))
            o.type = v;
        else if (a == QLatin1String("--text"))
            o.text = v;
        else if (a == QLatin1String("--lang"))
            o.lang = v;
        else if (a == QLatin1String("--quality"))
            o.quality = v.toInt(&ok);
        else
            o.digits = v.toInt(&ok);
        if (!ok)
            return a + QStringLiteral(" verwacht een getal");
    }
    if (o.scans.isEmpty() || o.scans.size() > 2)
        return QStringLiteral("geef een voorkant en hooguit een achterkant");
    if (o.out.isEmpty())
        return QStringLiteral("--out MAP ontbreekt");
    if (o.name.trimmed().isEmpty())
        return QStringLiteral("--name mag niet leeg zijn");
    if (o.quality < 0 || o.quality > 100)
        return QStringLiteral("--quality ligt tussen 0 en 100");
    QStringList codes;
    for (const OcrLanguage &l : OcrLanguages())
        codes << QString::fromLatin1(l.code);
    if (!codes.contains(o.lang))
        return QStringLiteral("--lang is een van ") + codes.join(QStringLiteral(", ")) + QStringLiteral(", niet ") + o.lang;
    o.digits = std::max(1, o.digits);
    o.cut.columns = o.detection.columns;
    o.cut.background = o.detection.background;
    o.cut.key = o.detection.key();
    return {};
}

std::optional<QImage> LoadScan(const QString &path)
{
    QImage scan;
    if (!QFileInfo(path).isFile() || !LoadPictureFile(scan, path) || IsKnownUnreadable(path) || scan.isNull())
        return std::nullopt;
    MakeBitmap24(scan);
    return scan;
}

// The window's frame covers the same part of every scan, whatever its size.
PixelSelection SelectionFor(const Options &o, const QImage &front, const QImage &scan)
{
    if (!o.haveSelection)
        return {0, 0, scan.width(), scan.height()};
    auto scale = [](int v, int to, int from) { return from > 0 ? int(qint64(v) * to / from) : v; };
    const PixelSelection &s = o.selection;
    return {scale(s.left, scan.width(), front.width()), scale(s.top, scan.height(), front.height()),
            scale(s.right, scan.width(), front.width()), scale(s.bottom, scan.height(), front.height())};
}

ScanBoxList Detect(const Options &o, const QImage &front, const QImage &scan)
{
    ScanBoxList boxes = DetectItems(scan, SelectionFor(o, front, scan), o.detection);
    OrderBoxes(boxes, o.detection.columns);
    return boxes;
}

int Dpi(const QImage &scan) { return int(scan.dotsPerMeterX() / 39.37 + 0.5); }

// The first name: as given when it ends in a number, otherwise numbered from 1.
QString FirstName(const Options &o)
{
    const QString name = o.name.trimmed();
    return name.back().isDigit() ? name : NextFileName(name, o.digits);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    static ErrorStreamPrompts errorPrompts;
    setDefaultPrompts(&errorPrompts);

    Options o;
    const QString wrong = ReadOptions(app.arguments().mid(1), o);
    if (!wrong.isEmpty()) {
        Fail(wrong);
        std::fputs(kUsageText, stderr);
        return 2;
    }
    const std::optional<QImage> front = LoadScan(o.scans[0]);
    std::optional<QImage> back;
    if (!front)
        return Fail(QStringLiteral("kan ") + o.scans[0] + QStringLiteral(" niet lezen"));
    if (o.scans.size() > 1 && !(back = LoadScan(o.scans[1])))
        return Fail(QStringLiteral("kan ") + o.scans[1] + QStringLiteral(" niet lezen"));
    if (!QDir().mkpath(o.out))
        return Fail(QStringLiteral("kan ") + o.out + QStringLiteral(" niet openen of maken"));

    QImage frontScan = *front;
    const ScanBoxList frontBoxes = Detect(o, frontScan, frontScan);
    ScanBoxList boxes = back ? Detect(o, frontScan, *back) : frontBoxes;
    if (boxes.empty())
        return Fail(QStringLiteral("geen kaarten gevonden"));
    if (o.ocr && !back)
        return Fail(QStringLiteral("--ocr leest de achterkanten: geef ook de scan van de achterkanten (BACK)"));
    const FrontSide fronts{&frontScan, &frontBoxes, int(frontBoxes.size())};
    const QString scanFile = o.scans.back();
    const PictureCaption scanned{QString(), QFileInfo(scanFile).lastModified(), Dpi(frontScan)};

    QStringList written;
    QString failure, name = FirstName(o), text = o.text;
    const QString folder = QDir(o.out).absolutePath() + QLatin1Char('/');
    size_t cardIndex = 0;
    CutOutBoxes(back ? *back : frontScan, boxes, int(boxes.size()), back ? &fronts : nullptr, o.cut,
                [&](const CardPictures &card) {
                    if (!failure.isEmpty())
                        return;
                    if (o.ocr) {
                        // Every card its own text: the given one, then what its back says.
                        // The boxes are in reading order by now, one card each.
                        const ScanBox &b = boxes[cardIndex++];
                        QString why;
                        // With --straighten it is read as saved: turned upright first.
                        const QImage picture = o.cut.straighten ? BoxAlone(*back, b, o.cut)
                                                                : back->copy(b.left, b.top, b.width(), b.height());
                        const QString read = ReadBackText(picture, Dpi(*back), o.lang, nullptr, &why);
                        if (!why.isEmpty()) {
                            failure = why;
                            return;
                        }
                        text = o.text.isEmpty() || read.isEmpty() ? o.text + read : o.text + '\n' + read;
                    }
                    const QString path = folder + name + o.type;
                    // Existing files are never overwritten: the user chooses another name or folder.
                    QStringList paths = QStringList{path} + SideFilePaths(card, path);
                    if (!text.isEmpty() || o.ocr)
                        paths << TextFilePath(path);
                    for (const QString &p : paths)
                        if (QFileInfo::exists(p) || QFileInfo(p).isSymLink()) {
                            failure = p + QStringLiteral(" bestaat al");
                            return;
                        }
                    PictureCaption caption = scanned;
                    caption.text = text;
                    if (SavePictureFile(card.joined, path, o.quality, caption.dpi, &caption) < 0) {
                        failure = QStringLiteral("opslaan van ") + path + QStringLiteral(" mislukt");
                        return;
                    }
                    written << path;
                    QString failedSide;
                    if (!SaveSideFiles(card, path, o.quality, caption.dpi, &caption, written, failedSide)) {
                        failure = QStringLiteral("opslaan van ") + failedSide + QStringLiteral(" mislukt");
                        return;
                    }
                    // As in the window: the accompanying text goes with the first picture saved.
                    if (!text.isEmpty() || o.ocr) {
                        if (!WriteTextLines(TextFilePath(path), text)) {
                            failure = QStringLiteral("kan ") + TextFilePath(path) + QStringLiteral(" niet schrijven");
                            return;
                        }
                        written << TextFilePath(path);
                        text.clear();
                    }
                    name = NextFileName(name, o.digits);
                });
    if (!failure.isEmpty()) {
        // Nothing half-done stays behind: every file of this run goes again.
        for (const QString &p : written)
            QFile::remove(p);
        return Fail(failure);
    }
    for (const QString &p : written)
        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(p)));
    return 0;
}
