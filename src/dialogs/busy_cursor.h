#pragma once
// The busy cursor over the whole program while work runs (detecting, loading,
// saving). Questions asked meanwhile show the normal cursor (QtPrompts).
#include <QApplication>

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
