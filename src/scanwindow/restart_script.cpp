#include "scanwindow/restart_script.h"

QString ShellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return '\'' + quoted + '\'';
}

QString RestartScriptText(const QString &programFolder, const QString &programPath)
{
    // A relative path could start with '-' and be read as an option.
    QString program = programPath;
    if (!program.startsWith('/'))
        program.prepend(QLatin1String("./"));
    return "cd -- " + ShellQuoted(programFolder) + " || exit 1\n" + "exec " + ShellQuoted(program) + '\n';
}
