#pragma once
// Work on a large picture runs on a thread of its own while the window keeps
// painting behind a busy window, so that no copy of it freezes the window.
#include <QImage>
#include <QString>
#include <functional>

// Whether copying picture takes long enough to be seen (above 20 million pixels).
bool SlowToCopy(const QImage &picture);
// Runs work beside the window; the busy window shows text under caption. The
// work cannot be stopped halfway: the window paints, and input waits for its end.
void RunBesideWindow(const QString &caption, const QString &text, const std::function<void()> &work);
