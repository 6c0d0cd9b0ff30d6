#include "scanner/bridge/source_dialog.h"

#include "scanner/bridge/virtual_scanner.h"
#include "scanner/bridge/worker_thread.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>


bool RunSourceDialog(const std::shared_ptr<SaneBackend> &backend, const QString &current, const QString &title,
                     QString &chosen, int boundMs)
{
    QDialog dialog;
    dialog.setObjectName("sourceDialog");
    dialog.setWindowTitle(title + QStringLiteral(" - scanner kiezen"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *status = new QLabel(QStringLiteral("Scanners zoeken…"), &dialog);
    status->setObjectName("searchStatus");
    auto *list = new QTreeWidget(&dialog);
    list->setObjectName("deviceList");
    list->setHeaderLabels({QStringLiteral("Fabrikant"), QStringLiteral("Model"), QStringLiteral("Soort"),
                           QStringLiteral("Naam")});
    list->setRootIsDecorated(false);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->setMinimumSize(560, 220);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *ok = buttons->addButton(QStringLiteral("Kiezen"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Annuleren"), QDialogButtonBox::RejectRole);
    ok->setEnabled(false);
    layout->addWidget(status);
    layout->addWidget(list);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(list, &QTreeWidget::currentItemChanged,
                     [ok](QTreeWidgetItem *item, QTreeWidgetItem *) { ok->setEnabled(item != nullptr); });

    // Searching can take seconds (network scanners), or hang on a server that
    // stopped answering: do it off the GUI thread, in a worker that owns what
    // it uses and is left behind when the user gives up.
    struct Search {
        std::vector<SaneDeviceInfo> devices;
        SANE_Status result = SANE_STATUS_GOOD;
    };
    auto found = std::make_shared<Search>();
    WorkerThread search([backend, found] { found->result = backend->getDevices(found->devices); });
    std::vector<SaneDeviceInfo> devices;
    SANE_Status result = SANE_STATUS_GOOD;
    QElapsedTimer since;
    since.start();
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // A server that never answers: the search has failed, the virtual scanner remains.
        const bool gaveUp = boundMs > 0 && since.elapsed() >= boundMs;
        if (!search.finished() && !gaveUp)
            return;
        poll.stop();
        if (search.finished()) {
            devices = found->devices;
            result = found->result;
        } else {
            result = SANE_STATUS_IO_ERROR;
        }
        devices.push_back({kVirtualScannerName, "KVNscan", QStringLiteral("Voorbeeld").toStdString(),
                           QStringLiteral("virtuele flatbedscanner").toStdString()});
        for (const SaneDeviceInfo &d : devices) {
            auto *item = new QTreeWidgetItem(list, {QString::fromStdString(d.vendor), QString::fromStdString(d.model),
                                                    QString::fromStdString(d.type), QString::fromStdString(d.name)});
            if (QString::fromStdString(d.name) == current)
                list->setCurrentItem(item);
        }
        if (!list->currentItem())
            list->setCurrentItem(list->topLevelItem(0));
        const int real = int(devices.size()) - 1;
        status->setText(result != SANE_STATUS_GOOD
                            ? QStringLiteral("Zoeken naar scanners mislukt; alleen de voorbeeldscanner is beschikbaar.")
                        : real == 0 ? QStringLiteral("Geen scanners gevonden; alleen de voorbeeldscanner is beschikbaar.")
                                    : QStringLiteral("Kies de scanner waarmee u wilt scannen."));
    });
    poll.start();
    const int answer = dialog.exec();
    poll.stop();
    if (search.finished())
        search.join();
    else
        search.abandon();
    if (answer != QDialog::Accepted || !list->currentItem())
        return false;
    chosen = list->currentItem()->text(3);
    return true;
}
