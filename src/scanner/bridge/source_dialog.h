#pragma once
// Choosing the scanner: every SANE device, then the virtual one.
#include "scanner/bridge/sane_wrapper.h"

#include <QString>

#include <memory>

// Shows the devices (searched for on a worker thread, with a visible
// "searching" state, which "Annuleren" ends even while the search hangs; a
// search still running after `boundMs` counts as failed, 0: no bound).
// Returns true with `chosen` set when the user picked one.
bool RunSourceDialog(const std::shared_ptr<SaneBackend> &backend, const QString &current, const QString &title,
                     QString &chosen, int boundMs = 0);
