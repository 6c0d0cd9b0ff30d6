#pragma once
// Choosing the scanner: every SANE device, then the virtual one.
#include "scanner/bridge/sane_wrapper.h"

#include <QString>

// Shows the devices (searched for on a worker thread, with a visible
// "searching" state). Returns true with `chosen` set when the user picked one.
bool RunSourceDialog(SaneBackend &backend, const QString &current, const QString &title, QString &chosen);
