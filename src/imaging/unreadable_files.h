#pragma once
// The files found unreadable in this run.
#include <QString>

// Remembers path, with the size and time of the file as it is now.
void RememberUnreadable(const QString &path);
