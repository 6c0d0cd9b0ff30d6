#include "scanwindow/beside_window.h"

#include "common/prompts.h"
#include "dialogs/busy_cursor.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <exception>
#include <memory>
#include <thread>

namespace {

// The window's thread waits in one event loop, quit by the work's end through
// a queued call: nothing polls, and the window paints meanwhile, under the busy
// cursor. Windows shown for the wait are made before, so that no event is
// handled before the loop runs.
void WaitBeside(const std::function<void()> &work, bool userInput)
{
    BusyCursor busy;
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();   // carried to the window's thread
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

bool SlowToCopy(const QImage &picture) { return qint64(picture.width()) * picture.height() > 20000000; }

void RunBesideWindow(const QString &caption, const QString &text, const std::function<void()> &work)
{
    const std::unique_ptr<QObject> busy = prompts().busyWindow(caption, text, [] {});
    WaitBeside(work, false);
}

void RunBesideWindow(const QString &caption, const QString &label, int total,
                     const std::function<void(BesideProgress &)> &work, const std::function<void()> &stopped)
{
    BesideProgress progress;
    const std::unique_ptr<ProgressShown> window = prompts().progressWindow(caption, label, total, [&progress, stopped] {
        if (!progress.stop.exchange(true) && stopped)
            stopped();
    });
    QTimer tick;
    if (window) {
        QObject::connect(&tick, &QTimer::timeout, [&] { window->setDone(progress.done); });
        tick.start(100);
    }
    // Without a window nobody can stop the work: input waits for its end.
    WaitBeside([&] { work(progress); }, window != nullptr);
}
