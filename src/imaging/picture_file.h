#pragma once
// Loading, converting and saving picture files.
#include <QImage>
#include <QString>

// Makes picture a 24-bit (Format_BGR888) picture; true when it is one now.
bool MakeBitmap24(QImage &picture);
// Loads path into picture; an unreadable file gives the placeholder picture and
// is remembered. False for "." or a path already known to be unreadable.
bool LoadPictureFile(QImage &picture, const QString &path);
// Saves by extension (JPEG with quality, BMP, TIFF, GIF, ...), resolution in
// dots per inch when > 0. Returns the quality when the file exists afterwards, -1 otherwise.
int SavePictureFile(const QImage &picture, const QString &path, int quality, int dpi);
// The JPEG quality handed to the encoder for a quality of 0..100: 0 is its
// lowest (1), never the library's default.
int JpegSaveFlags(int quality);

// File kinds by name (trimmed, letter case ignored).
bool IsGifPath(const QString &path);
bool IsJpegPath(const QString &path);

// The picture shown for a file that cannot be read ("onleesbaar bitmapbestand").
QImage UnreadablePlaceholder();
// Whether path is on the list of files found unreadable in this run.
bool IsKnownUnreadable(const QString &path);

// Largest 24-bit picture, in bytes, that a file may claim before it counts as
// unreadable. Defaults to a third of the physical memory; 0 restores that.
qint64 PictureByteLimit();
void SetPictureByteLimit(qint64 bytes);
