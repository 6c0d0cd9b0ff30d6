#pragma once
class QWidget;
// The scan window runs modally, which blocks every other top-level window. A
// window shown beside it (help, log) becomes a window of the modal one so the
// user can still use it.
void KeepUsableBesideModal(QWidget *window);
