#pragma once
// kvnscan-split's command line: what it takes, within the window's own ranges.
#include "detection/cut_out.h"
#include "detection/item_detection.h"

#include <QString>
#include <QStringList>

struct SplitOptions {
    QStringList scans;
    QString out, name = QStringLiteral("kaart"), type = QStringLiteral(".JPG"), text;
    int quality = 90, digits = 3;
    DetectionSettings detection;
    PixelSelection selection;
    bool haveSelection = false;
    bool help = false;
    bool ocr = false;   // each card's text file and caption get the text read from its back
    QString lang = QStringLiteral("nld");   // the Tesseract language it is read in
    CutOutSettings cut;
    QString batch;   // a folder: every scan in it, paired by name, instead of scans
    bool record = false;  // each card's facts into its pictures, "kaarten.csv" and "kaarten.ged"
    QString namePattern;  // with record: file names from the facts where they are certain
};

// The usage, in Dutch, as --help prints it.
extern const char *const kSplitUsage;

// Reads args (without the program's name) into o. Empty when they are sound,
// else what is wrong with them, in Dutch. With -h or --help only o.help is set.
QString ReadSplitOptions(const QStringList &args, SplitOptions &o);
