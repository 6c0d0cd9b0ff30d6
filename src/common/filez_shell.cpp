// Handing documents and help pages to the desktop.
#include "common/filez.h"
#include "common/outside.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QWindow>

QString BrowserPath;
QString DefaultHelpFile;

namespace {
// Hourglass for the duration of a call, back to normal on every way out.
class BusyCursor {
public:
    BusyCursor()
        : m_on(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (m_on)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    bool m_on;
};

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
    BusyCursor busy;
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
    BusyCursor busy;
    closeWindowTitled(QStringLiteral("Basishandelingen Vexlo"));
    closeWindowTitled(QStringLiteral("Vexlo Schermhulp"));
    // A full path or a help address names the document itself: show its first page.
    if (topic.contains(QLatin1Char(':')) || topic.startsWith(QLatin1Char('/'))) {
        outside().showHelp(topic, QString());
        return false;
    }
    return outside().showHelp(helpFile, topic);
}
