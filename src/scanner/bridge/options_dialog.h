#pragma once
// The device's own settings before a scan, built from its option descriptors.
#include "scanner/bridge/sane_wrapper.h"

#include <QDialog>
#include <QString>

class QFormLayout;
class QScrollArea;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(SaneDevice &dev, const QString &title, QWidget *parent = nullptr);
    // Builds the widgets again from the device (after SANE_INFO_RELOAD_OPTIONS).
    void reload();

private:
    void scheduleReload();
    SaneDevice &m_dev;
    QScrollArea *m_scroll = nullptr;
    bool m_reloadPending = false;
};

// Shows the dialog; true when the user pressed "Scannen".
bool RunOptionsDialog(SaneDevice &dev, const QString &title);
