#pragma once
// Where the program lives: resolved in one place so tests can point them elsewhere.
#include <QString>

namespace Locations {
// Full path of the running executable (as the platform reports it).
QString executablePath();
// For an installed program (executable in a "bin" folder with "../share/kvnscan"
// beside it) the user's own folder for settings and carried files,
// $XDG_CONFIG_HOME/kvnscan or else ~/.config/kvnscan, created when missing and
// without a trailing '/'; empty for a program run from where it was built or copied.
QString userProgramFolder();
// The user's private folder for the scan transfer file and the last scan, with
// a trailing '/': $XDG_STATE_HOME/kvnscan, else ~/.local/state/kvnscan; made
// 0700 when missing or looser, any link found in it removed. A folder that is
// a link or someone else's is not used: a fresh private folder for the run is.
QString stateFolder();
// The temporary folder: the state folder, unless a test pointed it elsewhere.
QString tempFolder();
// Overrides for tests; an empty text restores the real value.
void overrideExecutablePath(const QString &path);
void overrideTempFolder(const QString &folder);
}
