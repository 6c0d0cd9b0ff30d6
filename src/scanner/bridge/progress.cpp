#include "scanner/bridge/progress.h"

#include "scanner/bridge/worker_thread.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>

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
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (worker.finished()) {
            loop.quit();
            return;
        }
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
    WorkerThread worker(std::move(work));
    QEventLoop loop;
    QElapsedTimer since;
    since.start();
    std::unique_ptr<QProgressDialog> dialog;
    bool cancelled = false, timedOut = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (worker.finished()) {
            loop.quit();
        } else if (dialog && dialog->wasCanceled()) {
            cancelled = true;
            loop.quit();
        } else if (timeoutMs > 0 && since.elapsed() >= timeoutMs) {
            cancelled = timedOut = true;
            loop.quit();
        } else if (showDialog && !dialog && since.elapsed() >= showAfterMs) {
            dialog = MakeDialog(label, title, 0);  // no length known: a busy bar
            dialog->setObjectName(QStringLiteral("waitDialog"));
            dialog->show();
            loop.quit();  // from now on the dialog takes clicks and keys
        }
    });
    poll.start();
    // Until the dialog shows, clicks and keys wait, as they would for a quick
    // call: the window must not start anything else meanwhile.
    while (!worker.finished() && !cancelled)
        loop.exec(dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if (cancelled && !worker.finished()) {
        worker.abandon();
        return timedOut ? WaitEnd::TimedOut : WaitEnd::Cancelled;
    }
    worker.join();
    return WaitEnd::Returned;
}
