#pragma once
// One front scan (and its back) split into cards with the scan window's own
// code: reading, detection in reading order, and every card saved in turn.
#include "detection/scanbox.h"
#include "records/card_index.h"
#include "split/split_options.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

struct LoadedScans {
    QImage front, back;                // back null without one
    ScanBoxList frontBoxes, boxes;     // boxes: those cut out, of the back when there is one
};

// Whether our writers, or the image library's, take 24-bit cards of type.
bool CanWriteType(const QString &type);

// The first card's name by the window's numbering, and the name count cards on.
QString FirstCardName(const SplitOptions &o);
QString NameAfter(QString name, int count, int digits);

// Reads scans (a front, maybe its back) and finds the cards; false with why
// (Dutch, naming the file) when a scan cannot be read or holds no card.
bool LoadAndDetect(const SplitOptions &o, const QStringList &scans, LoadedScans &loaded, QString &why);

// Saves every card into folder, the first as name, as the window's series
// does; written gets each file written. stop, when given, is asked before
// each card. False with why at the first failure: nothing is overwritten.
// records, when given, gets each saved card's facts and file names.
bool SaveCards(const SplitOptions &o, const QStringList &scans, LoadedScans &loaded, const QString &folder,
               const QString &name, const std::function<bool()> &stop, QStringList &written, QString &why,
               QList<CardRecord> *records = nullptr);
