#pragma once
// Running a scan on a worker thread while the calling thread keeps handling
// its events, with a progress dialog whose Cancel stops the device.
#include "scanner/bridge/scan_runner.h"

#include <QString>

#include <functional>

ScanOutcome RunWhileProcessingEvents(const std::function<ScanOutcome()> &work, ScanControl &control,
                                     SaneDevice &dev, bool showProgress, const QString &title);
