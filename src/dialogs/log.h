#pragma once
#include <QString>
// Appends a line to the log window, creating and showing it. Always true.
bool AddToLog(const QString &text);
// Makes common code's log lines (LogText) go to the log window.
void InstallLogWindow();
