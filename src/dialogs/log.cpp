#include "dialogs/log.h"

#include "common/filez.h"
#include "dialogs/logform.h"
#include "dialogs/modal_companion.h"

#include <QApplication>
#include <QPointer>

namespace {
QPointer<Tlogform> g_logform;
bool LogWindowExists = false;

void toLog(const QString &text) { AddToLog(text); }
}

Tlogform *LogWindow() { return g_logform; }

bool AddToLog(const QString &text)
{
    // Without an application there is nowhere to show it.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return true;
    if (!LogWindowExists || !g_logform) {
        g_logform = new Tlogform;
        LogWindowExists = true;
        QObject::connect(g_logform.data(), &QObject::destroyed, [] { LogWindowExists = false; });
        FitFormOnScreen(g_logform);
    }
    g_logform->append(text);
    KeepUsableBesideModal(g_logform);
    g_logform->show();
    return true;
}

void InstallLogWindow() { SetLogSink(&toLog); }
