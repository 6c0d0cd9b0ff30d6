#include "common/outside.h"
#include "common/prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QThread>
#include <QUrl>

namespace {

// Used until the program installs its Qt prompts.
SilentPrompts g_silentPrompts;
Prompts *g_defaultPrompts = &g_silentPrompts;
Prompts *g_prompts = nullptr;

DesktopOutside g_realOutside;
Outside *g_defaultOutside = &g_realOutside;
Outside *g_outside = nullptr;
}

bool DesktopOutside::openWithDesktop(const QString &fileOrUrl)
{
    QUrl url = fileOrUrl.contains(QLatin1String("://")) ? QUrl(fileOrUrl) : QUrl::fromLocalFile(fileOrUrl);
    return QDesktopServices::openUrl(url);
}

bool DesktopOutside::showHelp(const QString &, const QString &) { return false; }

bool DesktopOutside::startDetached(const QString &program, const QStringList &args, const QString &folder)
{
    return QProcess::startDetached(program, args, folder);
}

void DesktopOutside::sleepMs(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }
void DesktopOutside::quitApplication() { QCoreApplication::quit(); }

QString NoticeCaption = QStringLiteral("Mededeling");

ModalResult ShowNotice(const QString &text)
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    return prompts().notice(text, NoticeCaption);
}

Prompts &prompts() { return g_prompts ? *g_prompts : *g_defaultPrompts; }
void setPrompts(Prompts *p) { g_prompts = p; }
void setDefaultPrompts(Prompts *p) { g_defaultPrompts = p ? p : &g_silentPrompts; }

Outside &outside() { return g_outside ? *g_outside : *g_defaultOutside; }
void setOutside(Outside *o) { g_outside = o; }
void setDefaultOutside(Outside *o) { g_defaultOutside = o ? o : &g_realOutside; }
