#pragma once
// Where the program lives: resolved in one place so tests can point them elsewhere.
#include <QString>

namespace Locations {
// Full path of the running executable (as the platform reports it).
QString executablePath();
// The platform's temporary folder with a trailing '/'.
QString tempFolder();
// Overrides for tests; an empty text restores the real value.
void overrideExecutablePath(const QString &path);
void overrideTempFolder(const QString &folder);
}
