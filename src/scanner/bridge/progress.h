#pragma once
// Running a scan on a worker thread while the calling thread keeps handling
// its events, with a progress dialog whose Cancel stops the device.
#include "scanner/bridge/scan_runner.h"

#include <QString>

#include <functional>
#include <memory>

// After "Annuleren", a worker that has not ended within
// control->abandonAfterCancelMs is left behind (see WorkerThread) and the scan
// counts as cancelled; a worker stuck in a call (see ScanStuck) is left
// behind with the outcome it had reached: `work` must hold everything it uses.
ScanOutcome RunWhileProcessingEvents(std::function<ScanOutcome()> work, const std::shared_ptr<ScanControl> &control,
                                     const std::shared_ptr<SaneDevice> &dev, bool showProgress, const QString &title,
                                     const QString &label = QStringLiteral("Bezig met scannen…"));

// Runs `work` (a call into a device that may take seconds or never return,
// such as opening a network scanner) on a worker thread while the calling
// thread handles its events. After `showAfterMs` a busy dialog with `label`
// offers "Annuleren", which stops the waiting at once; after `timeoutMs`
// (0: no bound) the waiting stops by itself. Either way the work is left
// behind (see WorkerThread), so `work` must hold everything it uses.
enum class WaitEnd { Returned, Cancelled, TimedOut };
WaitEnd WaitWhileProcessingEvents(std::function<void()> work, bool showDialog, const QString &label,
                                  const QString &title, int timeoutMs = 0, int showAfterMs = 400);
