#pragma once
// A control that reports the mouse on it in its own coordinates, so that the
// window decides what a press, a drag or a release means.
#include <QWidget>

class MouseReporter : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button, int x, int y);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
};
