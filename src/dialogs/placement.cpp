#include "dialogs/placement.h"

#include "common/filez.h"
#include "common/settings_list.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
QString prefixFor(const QWidget *control, const QString &prefix)
{
    return prefix.isEmpty() ? control->objectName() : prefix;
}

QScreen *screenOf(const QWidget *form)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return nullptr;
    QScreen *s = form ? form->screen() : nullptr;
    return s ? s : QGuiApplication::primaryScreen();
}

// The part of the screen that its available geometry leaves free at the bottom.
int bottomReserve(const QScreen *s)
{
    if (!s)
        return 0;
    const int h = s->geometry().bottom() - s->availableGeometry().bottom();
    return h > 0 ? h : 0;
}
}

void StorePlacement(const QWidget *control, SettingsList &settings, const QString &prefix)
{
    if (!control)
        return;
    const QString p = prefixFor(control, prefix);
    settings.setValue(p + QStringLiteral("_top"), IntToText(control->y()));
    settings.setValue(p + QStringLiteral("_left"), IntToText(control->x()));
    settings.setValue(p + QStringLiteral("_width"), IntToText(control->width()));
    settings.setValue(p + QStringLiteral("_height"), IntToText(control->height()));
}

void RestorePlacement(QWidget *control, const SettingsList &settings, const QString &prefix)
{
    if (!control)
        return;
    const QString p = prefixFor(control, prefix);
    QString v = settings.value(p + QStringLiteral("_top"));
    if (!v.isEmpty())
        control->move(control->x(), TextToInt(v));
    v = settings.value(p + QStringLiteral("_left"));
    if (!v.isEmpty())
        control->move(TextToInt(v), control->y());
    v = settings.value(p + QStringLiteral("_width"));
    if (!v.isEmpty())
        control->resize(TextToInt(v), control->height());
    v = settings.value(p + QStringLiteral("_height"));
    if (!v.isEmpty())
        control->resize(control->width(), TextToInt(v));
}

bool TaskbarAutoHides() { return false; }  // a hidden panel leaves the available geometry whole

int TaskbarHeight() { return bottomReserve(screenOf(nullptr)); }

int TaskbarWidth()
{
    const QScreen *s = screenOf(nullptr);
    return bottomReserve(s) > 0 ? s->geometry().width() : 0;
}

void FitFormOnScreen(QWidget *form, const QRect &screen, int reserve)
{
    if (!form)
        return;
    // A shown window's frame (title bar, borders) must fit on the screen too;
    // its position is the frame's corner, its size the inside's.
    const int frameWidth = form->isWindow() ? form->frameGeometry().width() - form->width() : 0;
    const int frameHeight = form->isWindow() ? form->frameGeometry().height() - form->height() : 0;
    int width = form->width(), height = form->height();
    if (screen.width() - frameWidth < width)
        width = screen.width() - frameWidth;
    if (screen.height() - reserve - frameHeight < height)
        height = screen.height() - reserve - frameHeight;
    width = Larger(width, 50);
    height = Larger(height, 50);
    // Positions are taken relative to the screen's own corner.
    int left = form->x() - screen.x(), top = form->y() - screen.y();
    if (left > screen.width() - width - frameWidth)
        left = screen.width() - width - frameWidth;
    if (top > screen.height() - height - frameHeight - reserve)
        top = screen.height() - height - frameHeight - reserve;
    left = Larger(left, 0);
    top = Larger(top, 0);
    form->resize(width, height);
    form->move(screen.x() + left, screen.y() + top);
}

void FitFormOnScreen(QWidget *form)
{
    const QScreen *s = screenOf(form);
    if (!form || !s)
        return;
    int reserve = 0;
    if (!TaskbarAutoHides()) {
        reserve = bottomReserve(s);
        const int barWidth = reserve > 0 ? s->geometry().width() : 0;
        if (barWidth < reserve)
            reserve = 0;
    }
    FitFormOnScreen(form, s->geometry(), reserve);
}
