#pragma once
// The selection frame: a dashed rectangle over the preview. It paints only its
// border; the mouse on it is reported so the window can hand it to the preview.
#include <QWidget>

class SelectionFrame : public QWidget {
    Q_OBJECT
public:
    explicit SelectionFrame(QWidget *parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
};
