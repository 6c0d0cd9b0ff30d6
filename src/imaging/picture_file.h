#pragma once
// Loading, converting and saving picture files.
#include <QImage>
#include <QString>

#include <functional>


struct PictureCaption;
class ReplacingSave;

// Makes picture a 24-bit (Format_BGR888) picture; true when it is one now.
bool MakeBitmap24(QImage &picture);
// Loads path into picture; an unreadable file gives the placeholder picture and
// is remembered. False for "." or a path already known to be unreadable.
bool LoadPictureFile(QImage &picture, const QString &path);
// Saves by extension (JPEG with quality, BMP, TIFF, GIF, ...), resolution in
// dots per inch when > 0. Returns the quality when the file exists afterwards, -1 otherwise.
// A caption with text goes inside a JPEG or TIFF file before it is put in place.
// On failure why, when given, says what failed and the system's reason (Dutch).
int SavePictureFile(const QImage &picture, const QString &path, int quality, int dpi,
                    const PictureCaption *caption = nullptr, QString *why = nullptr);
// The JPEG quality handed to the encoder for a quality of 0..100: 0 is its
// lowest (1), never the library's default.
int JpegSaveFlags(int quality);

// Whether path's kind of file (JPEG, BMP, TIFF) has a writer of our own, one
// that any thread may run and that shows nothing.
bool HasDirectWriter(const QString &path);
// Writes picture (Format_BGR888) as SavePictureFile does into save's temporary
// file, for a path with a direct writer, the caption (when it has text) going
// in while it is encoded; save.commit() then puts it in place. False with why
// (Dutch) when the file or its caption could not be written.
bool WriteDirect(ReplacingSave &save, const QImage &picture, const QString &path, int quality, int dpi,
                 const PictureCaption *caption = nullptr, QString *why = nullptr);

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
