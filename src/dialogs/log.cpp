#include "dialogs/log.h"

#include "common/filez.h"
#include "dialogs/logform.h"
#include "dialogs/modal_companion.h"
#include "dialogs/placement.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

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
    const bool first = !g_logform->isVisible();
    g_logform->show();
    // The window manager frames the window after it is shown: fitted again
    // then, its title bar and borders are kept on the screen too.
    if (first) {
        QTimer::singleShot(300, g_logform.data(), [] {
            if (g_logform)
                FitFormOnScreen(g_logform);
        });
    }
    return true;
}

void InstallLogWindow() { SetLogSink(&toLog); }
