#pragma once
// Running a scan on a worker thread while the calling thread keeps handling
// its events, with a progress dialog whose Cancel stops the device.
#include "scanner/bridge/scan_runner.h"

#include <QString>

#include <functional>
#include <memory>

// After "Annuleren", a worker that has not ended within
// control->abandonAfterCancelMs is left behind (see WorkerThread) and the scan
// counts as cancelled: `work` must hold everything it uses.
ScanOutcome RunWhileProcessingEvents(std::function<ScanOutcome()> work, const std::shared_ptr<ScanControl> &control,
                                     const std::shared_ptr<SaneDevice> &dev, bool showProgress, const QString &title);
