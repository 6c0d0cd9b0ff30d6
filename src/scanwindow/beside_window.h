#pragma once
// Work that takes long runs on a thread of its own while the window keeps
// painting behind a busy or progress window, under the busy cursor: the one way
// the window waits.
#include <QImage>
#include <QString>
#include <atomic>
#include <functional>

// Whether copying picture takes long enough to be seen (above 20 million pixels).
bool SlowToCopy(const QImage &picture);

// Runs work beside the window; the busy window shows text under caption. The
// work cannot be stopped halfway: the window paints, and input waits for its end.
// What the work throws is thrown again here.
void RunBesideWindow(const QString &caption, const QString &text, const std::function<void()> &work);

// How far work beside the window has come, and whether the user stopped it.
struct BesideProgress {
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
};
// Runs work beside the window behind a progress window: label with "%1" for
// done and "%2" for total, and "Stoppen", which sets stop and calls stopped (on
// the window's thread, for work that waits on something it can cut short).
// Returns when the work has ended; what it throws is thrown again here.
void RunBesideWindow(const QString &caption, const QString &label, int total,
                     const std::function<void(BesideProgress &)> &work, const std::function<void()> &stopped = {});
