#include "scanner/bridge/source_dialog.h"

#include "scanner/bridge/scan_runner.h"
#include "scanner/bridge/virtual_scanner.h"
#include "scanner/bridge/worker_thread.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

// The dialog's parts the search fills in.
struct SourceParts {
    QLabel *status;
    QTreeWidget *list;
};

SourceParts BuildSourceDialog(QDialog &dialog, const QString &title)
{
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
    return {status, list};
}

// Lists the devices found and the virtual scanner after them, current chosen,
// and says how the search went: failure is why it failed, empty when it did not.
void ShowFound(const SourceParts &parts, std::vector<SaneDeviceInfo> devices, const QString &failure,
               const QString &current)
{
    const int real = int(devices.size());
    devices.push_back({kVirtualScannerName, "KVNscan", QStringLiteral("Voorbeeld").toStdString(),
                       QStringLiteral("virtuele flatbedscanner").toStdString()});
    for (const SaneDeviceInfo &d : devices) {
        auto *item = new QTreeWidgetItem(parts.list, {QString::fromStdString(d.vendor), QString::fromStdString(d.model),
                                                      QString::fromStdString(d.type), QString::fromStdString(d.name)});
        if (QString::fromStdString(d.name) == current)
            parts.list->setCurrentItem(item);
    }
    if (!parts.list->currentItem())
        parts.list->setCurrentItem(parts.list->topLevelItem(0));
    parts.status->setText(
        !failure.isEmpty()
            ? QStringLiteral("Zoeken naar scanners mislukt (%1); alleen de voorbeeldscanner is beschikbaar.").arg(failure)
        : real == 0 ? QStringLiteral("Geen scanners gevonden; alleen de voorbeeldscanner is beschikbaar.")
                    : QStringLiteral("Kies de scanner waarmee u wilt scannen."));
}

} // namespace

bool RunSourceDialog(const std::shared_ptr<SaneBackend> &backend, const QString &current, const QString &title,
                     QString &chosen, int boundMs)
{
    QDialog dialog;
    const SourceParts parts = BuildSourceDialog(dialog, title);

    // Searching can take seconds (network scanners), or hang on a server that
    // stopped answering: do it off the GUI thread, in a worker that owns what
    // it uses and is left behind when the user gives up.
    struct Search {
        std::vector<SaneDeviceInfo> devices;
        SANE_Status result = SANE_STATUS_GOOD;
    };
    auto found = std::make_shared<Search>();
    bool shown = false;
    WorkerThread search([backend, found] { found->result = backend->getDevices(found->devices); });
    search.whenDone(&dialog, [&] {
        if (!std::exchange(shown, true))
            ShowFound(parts, found->devices,
                      found->result == SANE_STATUS_GOOD ? QString() : OpenStatusReason(found->result), current);
    });
    // A server that never answers: the search has failed, the virtual scanner remains.
    if (boundMs > 0)
        QTimer::singleShot(boundMs, Qt::PreciseTimer, &dialog, [&] {
            if (!std::exchange(shown, true))
                ShowFound(parts, {}, QStringLiteral("er antwoordt geen scanner"), current);
        });
    const int answer = dialog.exec();
    if (search.finished())
        search.join();
    else
        search.abandon();
    if (answer != QDialog::Accepted || !parts.list->currentItem())
        return false;
    chosen = parts.list->currentItem()->text(3);
    return true;
}
