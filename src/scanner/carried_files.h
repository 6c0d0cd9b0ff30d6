#pragma once
// Files the program carries in its resources and writes beside itself.
#include <QByteArray>
#include <QString>
#include <functional>

// Bytes of a carried resource by name ("EZTW32", "KVNSCANCHM"); null when absent.
using CarriedSource = std::function<QByteArray(const QString &name)>;
// Reads the resource ":/" + name of the executable.
QByteArray CarriedResource(const QString &name);

// Writes data whole to path: a new file beside it renamed over the old one, so a
// library that is mapped into this process is never truncated under its users.
// True when the file holds the data afterwards.
bool WriteCarriedFile(const QByteArray &data, const QString &path);

// The start-up checks of the program folder: the scanner library is written when
// missing or below version 114, the help file when missing or shorter than
// 1371379 bytes and other than the carried one. Binds the scanner library on the way.
void EnsureCarriedFiles(const CarriedSource &source = CarriedResource);

constexpr int kCurrentScannerLibraryVersion = 114;
constexpr qint64 kHelpFileMinimumSize = 1371379;
