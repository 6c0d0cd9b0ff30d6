#include "scanner/bridge/progress.h"

#include "scanner/bridge/worker_thread.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

std::unique_ptr<QProgressDialog> MakeDialog(const QString &label, const QString &title, int maximum)
{
    auto dialog = std::make_unique<QProgressDialog>(label, QStringLiteral("Annuleren"), 0, maximum);
    dialog->setWindowTitle(title);
    // Wide enough for its caption beside the window manager's buttons.
    dialog->setMinimumWidth(std::max(dialog->sizeHint().width(),
                                     dialog->fontMetrics().horizontalAdvance(title) + 160));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    return dialog;
}

// Calls hidden when the object it watches is hidden.
class WhenHidden : public QObject {
public:
    WhenHidden(QObject *parent, std::function<void()> hidden) : QObject(parent), m_hidden(std::move(hidden)) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Hide)
            m_hidden();
        return false;
    }

private:
    std::function<void()> m_hidden;
};

} // namespace

ScanOutcome RunWhileProcessingEvents(std::function<ScanOutcome()> work, const std::shared_ptr<ScanControl> &control,
                                     const std::shared_ptr<SaneDevice> &dev, bool showProgress, const QString &title,
                                     const QString &label)
{
    QEventLoop loop;
    QElapsedTimer sinceCancel;
    std::unique_ptr<QProgressDialog> dialog;
    if (showProgress) {
        dialog = MakeDialog(label, title, 1000);
        dialog->setValue(0);
        QObject::connect(dialog.get(), &QProgressDialog::canceled, [&control, &dev, &sinceCancel, d = dialog.get()] {
            if (control->cancel.exchange(true))
                return;
            sinceCancel.start();
            // Only a blocking read needs the device told from here; a call
            // into a network backend could hang this thread.
            if (control->phase.load() == ScanControl::BlockingRead)
                dev->cancel();
            d->setLabelText(QStringLiteral("Scan wordt afgebroken…"));
        });
    }
    auto result = std::make_shared<ScanOutcome>();
    WorkerThread worker([work = std::move(work), result] { *result = work(); });
    bool gaveUp = false;
    ScanOutcome instead;
    instead.kind = ScanOutcome::Cancelled;
    instead.status = SANE_STATUS_CANCELLED;
    worker.whenDone(&loop, [&loop] { loop.quit(); });
    // The timer watches a cancelled or stuck scan and shows the progress; the end is heard.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if ((sinceCancel.isValid() && sinceCancel.elapsed() > control->abandonAfterCancelMs)
            || ScanStuck(*control, instead)) {
            gaveUp = true;
            loop.quit();
            return;
        }
        if (dialog && !sinceCancel.isValid()) {
            const int pm = control->permille.load();
            if (pm < 0)
                dialog->setMaximum(0);  // unknown length: a busy bar
            else {
                dialog->setMaximum(1000);
                dialog->setValue(std::min(pm, 999));
            }
        }
    });
    poll.start();
    loop.exec();
    if (gaveUp) {
        worker.abandon();
        return instead;
    }
    worker.join();
    return std::move(*result);
}

WaitEnd WaitWhileProcessingEvents(std::function<void()> work, bool showDialog, const QString &label,
                                  const QString &title, int timeoutMs, int showAfterMs)
{
    QEventLoop loop;
    QObject here;  // receives the work's end and the timers, gone with this call
    std::unique_ptr<QProgressDialog> dialog;
    WaitEnd end = WaitEnd::Returned;
    bool over = false;
    const auto finish = [&](WaitEnd how) {
        if (std::exchange(over, true))
            return;
        end = how;
        loop.quit();
    };
    if (timeoutMs > 0)
        QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &here, [&] { finish(WaitEnd::TimedOut); });
    if (showDialog)
        QTimer::singleShot(showAfterMs, &here, [&] {
            if (over)
                return;
            dialog = MakeDialog(label, title, 0);  // no length known: a busy bar
            dialog->setObjectName(QStringLiteral("waitDialog"));
            // Its button, Escape and closing all hide it: that ends the waiting.
            dialog->installEventFilter(new WhenHidden(&here, [&] { finish(WaitEnd::Cancelled); }));
            dialog->show();
            loop.quit();  // from now on the dialog takes clicks and keys
        });
    WorkerThread worker(std::move(work));
    worker.whenDone(&here, [&] { finish(WaitEnd::Returned); });
    // Until the dialog shows, clicks and keys wait, as they would for a quick
    // call: the window must not start anything else meanwhile.
    while (!over)
        loop.exec(dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if (end != WaitEnd::Returned) {
        worker.abandon();
        return end;
    }
    worker.join();
    return WaitEnd::Returned;
}
