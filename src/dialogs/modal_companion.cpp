#include "dialogs/modal_companion.h"

#include <QApplication>
#include <QWidget>

void KeepUsableBesideModal(QWidget *window)
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!window || !modal || modal == window || window->parentWidget() == modal)
        return;
    const Qt::WindowFlags flags = window->windowFlags() | Qt::Window;
    const bool visible = window->isVisible();
    window->setParent(modal, flags);
    if (visible)
        window->show();
}
