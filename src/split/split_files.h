#pragma once
// kvnscan-split's dealings with the file system: scans read with a Dutch reason
// when they cannot be, folders made so that a failed run can take them away.
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdio>

// The system's reason for error (an errno value), in Dutch.
QString SystemReason(int error);

// Reads the scan at path as a 24-bit picture; false with why when it cannot.
bool LoadScan(const QString &path, QImage &scan, QString &why);

// Makes folder and the folders above it that are missing; created gets those
// it made, outermost first, so that a failed run can take them away again.
bool MakeFolder(const QString &folder, QStringList &created, QString &why);

// Whether anything, a dangling link too, has that path.
bool Taken(const QString &path);

// Texts go out in the bytes of the paths they name, whatever those are.
void Print(FILE *stream, const QString &text);

// Prints "kvnscan-split: " + why on stderr; returns code.
int Fail(const QString &why, int code = 1);

// Nothing half-done stays behind: every file of a failed run goes again, and
// every folder it made (created as MakeFolder gives them).
void RemoveWritten(const QStringList &written, const QStringList &created);
