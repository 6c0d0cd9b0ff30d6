#include "scanwindow/geometry_dump.h"

#include "common/filez.h"
#include "scanwindow/preview_image.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace {

QString valueOf(const QWidget *w)
{
    QString v;
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        // The caption as read, without the marks of access keys ("&Ja" is "Ja").
        v = b->isCheckable() ? QString::fromLatin1(b->isChecked() ? "true" : "false")
                             : QString(b->text()).replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    else if (auto *e = qobject_cast<const QLineEdit *>(w))
        v = e->text();
    else if (auto *s = qobject_cast<const QAbstractSpinBox *>(w))
        v = s->text();
    else if (auto *t = qobject_cast<const QPlainTextEdit *>(w))
        v = t->toPlainText();
    else if (auto *c = qobject_cast<const QComboBox *>(w))
        v = c->currentText();
    else if (auto *l = qobject_cast<const QLabel *>(w))
        v = l->text();
    else if (auto *p = qobject_cast<const PreviewImage *>(w))
        v = QStringLiteral("%1x%2").arg(p->picture().width()).arg(p->picture().height());
    v.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    v.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    v.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return v;
}

QString lineOf(const QString &name, const QWidget *w)
{
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    QString line = QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                       .arg(name)
                       .arg(at.x())
                       .arg(at.y())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(w->isVisible() ? 1 : 0)
                       .arg(w->isEnabled() ? 1 : 0);
    const QString v = w->isWindow() ? w->windowTitle() : valueOf(w);
    if (!v.isEmpty())
        line += QLatin1Char(' ') + v;
    return line + QLatin1Char('\n');
}

} // namespace

QString GeometryDumpText(const QWidget *window)
{
    if (!window)
        return {};
    QString text = lineOf(window->objectName().isEmpty() ? QStringLiteral("window") : window->objectName(),
                          window);
    // Qt's inner parts (spin box line edits and the like) carry names starting "qt_".
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && w->window() == window)
            text += lineOf(name, w);
    }
    return text;
}

QString DialogsDumpText(const QWidget *window)
{
    QString text;
    for (const QWidget *top : QApplication::topLevelWidgets()) {
        if (top == window || !top->isVisible() || !qobject_cast<const QDialog *>(top))
            continue;
        text += lineOf(QStringLiteral("dialog"), top);
        for (const QAbstractButton *b : top->findChildren<QAbstractButton *>()) {
            if (b->isVisible() && b->window() == top)
                text += lineOf(QStringLiteral("button"), b);
        }
    }
    return text;
}

void InstallGeometryDump(QWidget *window)
{
    const QString path = qEnvironmentVariable("KVNSCAN_DUMP_GEOMETRY");
    if (path.isEmpty() || !window)
        return;
    // Controls move after a scan and panels appear in series mode: poll rather
    // than follow every event, and write only what changed, whole (a script
    // never reads half a file).
    auto *timer = new QTimer(window);
    auto last = std::make_shared<QString>();
    QObject::connect(timer, &QTimer::timeout, window, [window, path, last] {
        if (!window->isVisible())
            return;
        const QString text = GeometryDumpText(window) + DialogsDumpText(window);
        if (text == *last)
            return;
        if (WriteFileAtomically(path, text.toUtf8()))
            *last = text;
    });
    timer->start(250);
}
