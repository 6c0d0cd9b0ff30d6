// Handing documents and help pages to the desktop.
#include "common/filez.h"
#include "common/outside.h"
#include "common/override_cursor.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QWindow>

QString BrowserPath;
QString DefaultHelpFile;

namespace {
// Hourglass for the duration of a call, when there is a GUI to show it.
auto busyCursor()
{
    return OverrideCursor(Qt::WaitCursor, qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr);
}

void closeWindowTitled(const QString &title)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    // A shown window of widgets has a QWindow with the same title; closing
    // that closes the widget as the window manager's close button would.
    for (QWindow *w : QGuiApplication::topLevelWindows()) {
        if (w->isVisible() && w->title() == title) {
            QMetaObject::invokeMethod(w, [w] { w->close(); }, Qt::QueuedConnection);
            return;
        }
    }
}
}

bool ShellOpen(const QString &file, const QString &parameters, const QString &)
{
    const auto busy = busyCursor();
    if (file.isEmpty())
        return false;
    // A page goes to the configured browser when there is one.
    if (!BrowserPath.isEmpty() && SafeFileExists(BrowserPath)
        && (file.contains(QLatin1String(".htm")) || file.contains(QLatin1String(".php"))))
        return outside().startDetached(BrowserPath, QStringList{file}, QString());
    // The desktop opener takes no parameters.
    Q_UNUSED(parameters);
    return outside().openWithDesktop(file);
}

bool ShowHelpTopic(const QString &topicIn, const QString &helpFileIn)
{
    QString helpFile = helpFileIn.isEmpty() ? DefaultHelpFile : helpFileIn;
    QString topic = topicIn;
    if (topic.isEmpty() && !helpFile.isEmpty())
        topic = helpFile;
    if (topic.isEmpty())
        return false;
    const auto busy = busyCursor();
    closeWindowTitled(QStringLiteral("Basishandelingen Vexlo"));
    closeWindowTitled(QStringLiteral("Vexlo Schermhulp"));
    // A full path or a help address names the document itself: show its first page.
    if (topic.contains(QLatin1Char(':')) || topic.startsWith(QLatin1Char('/'))) {
        outside().showHelp(topic, QString());
        return false;
    }
    return outside().showHelp(helpFile, topic);
}
