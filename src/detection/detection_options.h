#pragma once
// The detection panel's values as command-line options, for the programs that
// run detection on files.
#include "detection/item_detection.h"

#include <QString>

// Takes one option with its value: --background RRGGBB, --tolerance N,
// --min-size N, --margin N, --columns N, --selection L,T,R,B. False for any
// other name; error is set (in Dutch) when the value is not valid.
bool ReadDetectionOption(const QString &name, const QString &value, DetectionSettings &settings,
                         PixelSelection &selection, bool &haveSelection, QString &error);
