#pragma once
// One scan on an open device, start to last frame: blocking, meant for a
// worker thread. Knows nothing of windows.
#include "scanner/bridge/frame_assembler.h"
#include "scanner/bridge/sane_wrapper.h"

#include <atomic>
#include <functional>
#include <mutex>

struct ScanOutcome {
    enum Kind { Done, Cancelled, Failed } kind = Failed;
    QImage image;
    double dpi = 0;
    SANE_Status status = SANE_STATUS_GOOD;  // the device's status when it failed
    QString message;                       // Dutch, for the user, when it failed
};

struct ScanControl {
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};  // progress of the current frame, -1 when unknown
    int warmUpWaitMs = 1000;
    int warmUpTries = 60;
    // Largest frame we read when the device does not say how long it is.
    uint64_t unknownLengthLimit = kMaxBmpFileBytes;
    // Reads in a row that bring nothing before we give up on the device.
    int maxEmptyReads = 30000;
    // With a descriptor to wait on: how long the device may send nothing at all.
    int stallTimeoutMs = 90000;
    // Where the scan is: only a blocking read needs a cancel from another
    // thread; elsewhere the scan sees the flag itself, and a second caller
    // inside a network backend would garble its connection.
    enum Phase { Other, BlockingRead, WaitingRead };
    std::atomic<int> phase{Other};
    // After a cancel from the window, or once the outcome is known and only
    // the device's cancel is awaited, how long a device stuck in a call may
    // hold the scan: a server that stopped answering never returns from it.
    int abandonAfterCancelMs = 1000;

    // Kept by RunScan for whoever waits on it: when a device call last
    // returned, and the outcome decided before the final cancel.
    std::atomic<int64_t> lastReturnMs{0};
    std::atomic<int64_t> endingSinceMs{0};
    std::mutex decidedMutex;
    ScanOutcome decided;
};

ScanOutcome RunScan(SaneDevice &dev, ScanControl &control);

// For the thread waiting on RunScan: true when the scan is stuck in a call
// that may never return, with the outcome to report instead.
bool ScanStuck(ScanControl &control, ScanOutcome &outcome);

// What a failing status means to the user.
QString StatusMessage(SANE_Status s);
// Why a scanner could not be opened or found, as a clause after a colon.
QString OpenStatusReason(SANE_Status s);
// SANE's own name of a status, as its documentation and logs give it.
QString StatusName(SANE_Status s);
