#include "scanner/bridge/options_dialog.h"

#include "scanner/bridge/option_widgets.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

OptionsDialog::OptionsDialog(SaneDevice &dev, const QString &title, QWidget *parent) : QDialog(parent), m_dev(dev)
{
    setObjectName("optionsDialog");
    setWindowTitle(title + QStringLiteral(" - scaninstellingen"));
    auto *layout = new QVBoxLayout(this);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *scan = buttons->addButton(QStringLiteral("Scannen"), QDialogButtonBox::AcceptRole);
    scan->setObjectName("scanButton");
    scan->setDefault(true);
    buttons->addButton(QStringLiteral("Annuleren"), QDialogButtonBox::RejectRole)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_scroll);
    layout->addWidget(buttons);
    reload();
}

void OptionsDialog::scheduleReload()
{
    // The widget that reported the change is still on the stack: rebuild later.
    if (m_reloadPending)
        return;
    m_reloadPending = true;
    QTimer::singleShot(0, this, [this] {
        m_reloadPending = false;
        reload();
    });
}

void OptionsDialog::reload()
{
    auto *page = new QWidget;
    auto *outer = new QVBoxLayout(page);
    QFormLayout *form = new QFormLayout;
    outer->addLayout(form);
    const OptionChanged changed = [this](SANE_Int info) {
        if (info & SANE_INFO_RELOAD_OPTIONS)
            scheduleReload();
    };
    SANE_Int count = 0;
    if (m_dev.getOptionDescriptor(0) && m_dev.controlOption(0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        count = 0;
    for (SANE_Int i = 1; i < count && i < 10000; ++i) {
        const SANE_Option_Descriptor *d = m_dev.getOptionDescriptor(i);
        if (!d)
            continue;
        if (d->type == SANE_TYPE_GROUP) {
            auto *box = new QGroupBox(QString::fromUtf8(d->title ? d->title : ""), page);
            form = new QFormLayout(box);
            outer->addWidget(box);
            continue;
        }
        QWidget *w = MakeOptionWidget(m_dev, i, changed, page);
        if (!w)
            continue;
        if (d->type == SANE_TYPE_BUTTON)
            form->addRow(w);
        else
            form->addRow(QString::fromUtf8(d->title ? d->title : d->name ? d->name : "") + ':', w);
    }
    outer->addStretch(1);
    // Hide groups whose options are all inactive.
    for (QGroupBox *box : page->findChildren<QGroupBox *>())
        if (auto *f = qobject_cast<QFormLayout *>(box->layout()); f && f->rowCount() == 0)
            box->hide();
    m_scroll->setWidget(page);  // deletes the previous page
    // As wide as the options need, as tall as they need up to a screenful.
    const QSize want = page->sizeHint();
    m_scroll->setMinimumWidth(std::max(420, want.width() + m_scroll->verticalScrollBar()->sizeHint().width() + 4));
    m_scroll->setMinimumHeight(std::min(std::max(120, want.height() + 4), 560));
}

bool RunOptionsDialog(SaneDevice &dev, const QString &title)
{
    OptionsDialog dialog(dev, title);
    return dialog.exec() == QDialog::Accepted;
}
