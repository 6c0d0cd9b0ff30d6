#pragma once
// The numbering rule for the next file name: the digits before the extension
// are raised by one and padded to the digit count ("scan009.jpg" -> "scan010.jpg").
// And where a name may be saved: the window and kvnscan-split build and check
// every path they write here.
#include <QString>

QString NextFileName(const QString &name, int digits);
// Whether name carries a number by that rule: digits just before its last dot.
bool HasFileNumber(const QString &name);

// A file type is an extension: a dot and 1 to 10 letters or digits (".JPG",
// ".tif"). The empty type, a file without one, is the window's fourth item.
bool IsFileType(const QString &type);

// path with "." and ".." worked out and no double slashes, once, so that the
// look for an existing file and the write meet the same file. Empty when it
// does not lie inside folder (folder itself is no place for a file).
QString PathInFolder(const QString &folder, const QString &path);

// The path a save of name writes in folder: the part of name before its last
// dot, trimmed, then type. Empty, with why in Dutch, when type is no file type
// or the path would lie outside folder.
QString SavePath(const QString &folder, const QString &name, const QString &type, QString *why = nullptr);
