#include "scanwindow/beside_window.h"

#include "common/prompts.h"

#include <QEventLoop>
#include <QMetaObject>
#include <atomic>
#include <memory>
#include <thread>

bool SlowToCopy(const QImage &picture) { return qint64(picture.width()) * picture.height() > 20000000; }

void RunBesideWindow(const QString &caption, const QString &text, const std::function<void()> &work)
{
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    {
        const std::unique_ptr<QObject> busy = prompts().busyWindow(caption, text, [] {});
        // The work cannot be stopped halfway: the window paints, input waits until it is done.
        if (!finished)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
}
