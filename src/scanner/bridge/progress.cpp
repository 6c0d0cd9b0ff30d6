#include "scanner/bridge/progress.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

ScanOutcome RunWhileProcessingEvents(const std::function<ScanOutcome()> &work, ScanControl &control,
                                     SaneDevice &dev, bool showProgress, const QString &title)
{
    QEventLoop loop;
    std::atomic<bool> done{false};
    ScanOutcome outcome;
    std::unique_ptr<QProgressDialog> dialog;
    if (showProgress) {
        dialog = std::make_unique<QProgressDialog>(QStringLiteral("Bezig met scannen…"),
                                                   QStringLiteral("Annuleren"), 0, 1000);
        dialog->setWindowTitle(title);
        // Wide enough for its caption beside the window manager's buttons.
        dialog->setMinimumWidth(std::max(dialog->sizeHint().width(),
                                         dialog->fontMetrics().horizontalAdvance(title) + 160));
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumDuration(0);
        dialog->setValue(0);
        QObject::connect(dialog.get(), &QProgressDialog::canceled, [&control, &dev, d = dialog.get()] {
            if (!control.cancel.exchange(true)) {
                dev.cancel();
                d->setLabelText(QStringLiteral("Scan wordt afgebroken…"));
            }
        });
    }
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done.load()) {
            loop.quit();
            return;
        }
        if (dialog) {
            const int pm = control.permille.load();
            if (pm < 0)
                dialog->setMaximum(0);  // unknown length: a busy bar
            else {
                dialog->setMaximum(1000);
                dialog->setValue(std::min(pm, 999));
            }
        }
    });
    poll.start();
    std::thread worker([&] {
        outcome = work();
        done.store(true);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);  // no need to wait for the next poll
    });
    loop.exec();
    worker.join();
    return outcome;
}
