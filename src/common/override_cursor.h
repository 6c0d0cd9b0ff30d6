#pragma once
// A cursor over the whole program until the returned guard goes out of scope.
#include <QCursor>
#include <QGuiApplication>
#include <QScopeGuard>

// Does nothing when `when` is false (no GUI, or nothing to undo).
inline auto OverrideCursor(Qt::CursorShape shape, bool when = true)
{
    if (when)
        QGuiApplication::setOverrideCursor(QCursor(shape));
    return qScopeGuard([when] {
        if (when)
            QGuiApplication::restoreOverrideCursor();
    });
}
