#include "scanwindow/selection_frame.h"

#include <QPainter>

SelectionFrame::SelectionFrame(QWidget *parent) : MouseReporter(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

void SelectionFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Two dash patterns offset by one dash stay visible on light and dark scans alike.
    const QRect r = rect().adjusted(0, 0, -1, -1);
    QPen light(Qt::white, 1, Qt::SolidLine);
    p.setPen(light);
    p.drawRect(r);
    QPen dark(Qt::black, 1, Qt::DashLine);
    p.setPen(dark);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
}
