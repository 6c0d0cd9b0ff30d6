// detect-items IMAGE [--background RRGGBB] [--tolerance N] [--min-size N]
//              [--margin N] [--columns N] [--selection L,T,R,B] [--smart]
// Prints the boxes found on IMAGE in reading order, one "left top right bottom" a line.
#include "detection/detection_options.h"
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "imaging/bmp_reader.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <cstdio>

namespace {

int Usage(const char *why)
{
    std::fprintf(stderr, "detect-items: %s\n"
                         "usage: detect-items IMAGE [--background RRGGBB] [--tolerance N] [--min-size N]\n"
                         "                    [--margin N] [--columns N] [--selection L,T,R,B] [--smart]\n",
                 why);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    QString path;
    DetectionSettings settings;
    bool haveSelection = false;
    PixelSelection selection;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            if (!path.isEmpty())
                return Usage("more than one image given");
            path = a;
            continue;
        }
        if (a == QLatin1String("--smart")) {
            settings.smart = true;
            continue;
        }
        if (i + 1 >= args.size())
            return Usage("option without a value");
        const QString v = args[++i];
        QString error;
        if (!ReadDetectionOption(a, v, settings, selection, haveSelection, error))
            return Usage("unknown option");
        if (!error.isEmpty())
            return Usage(qPrintable(error));
    }
    if (path.isEmpty())
        return Usage("no image given");

    // The window's own loader: a 600-dpi page is above Qt's default limit.
    QImage picture;
    if (!LoadScanPicture(picture, path) || picture.isNull()) {
        std::fprintf(stderr, "detect-items: cannot read %s: %s\n", qPrintable(path),
                     qPrintable(QImageReader(path).errorString()));
        return 2;
    }
    if (!haveSelection)
        selection = {0, 0, picture.width(), picture.height()};

    ScanBoxList boxes = DetectItems(picture, selection, settings);
    OrderBoxes(boxes, settings.columns);
    for (const ScanBox &b : boxes)
        std::printf("%d %d %d %d\n", b.left, b.top, b.right, b.bottom);
    return 0;
}
