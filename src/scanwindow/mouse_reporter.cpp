#include "scanwindow/mouse_reporter.h"

#include <QMouseEvent>

void MouseReporter::mousePressEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    emit mouseDown(e->button(), pt.x(), pt.y());
}

void MouseReporter::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    emit mouseMove(pt.x(), pt.y());
}

void MouseReporter::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    emit mouseUp(e->button(), pt.x(), pt.y());
}
