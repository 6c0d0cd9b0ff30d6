#pragma once
// The restart script "kvnscan.bat": a POSIX shell script that goes to the program
// folder and starts the program again. Every path is single-quoted, so no character
// in it (quotes, $, backticks, backslashes, spaces, newlines) can run as a command.
#include <QString>

// text in single quotes, each ' written as '\''.
QString ShellQuoted(const QString &text);
// Two LF-ended lines: cd into programFolder, then exec programPath.
QString RestartScriptText(const QString &programFolder, const QString &programPath);
