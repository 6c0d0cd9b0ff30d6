#pragma once
// The selection frame: a dashed rectangle over the preview. It paints only its
// border; the mouse on it is reported so the window can hand it to the preview.
#include "scanwindow/mouse_reporter.h"

class SelectionFrame : public MouseReporter {
    Q_OBJECT
public:
    explicit SelectionFrame(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *e) override;
};
