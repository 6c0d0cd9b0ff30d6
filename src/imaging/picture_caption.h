#pragma once
// The caption carried inside a saved picture file: its text as XMP
// dc:description and EXIF ImageDescription, the scan date and the resolution.
#include <QDateTime>
#include <QString>
#include <QStringList>

struct PictureCaption {
    PictureCaption(const QString &text = {}, const QDateTime &scanned = {}, int dpi = 0)
        : text(text), scanned(scanned), dpi(dpi)
    {
    }
    QString text;          // this picture's own text (the accompanying text, or a card's)
    QDateTime scanned;     // EXIF DateTimeDigitized; left out when invalid
    int dpi = 0;           // EXIF resolution; left out when 0 or less
    // Who is on a card, when its facts are kept: XMP dc:title, Iptc4xmpExt:PersonInImage,
    // dc:subject and the IPTC fields that mirror them; the source type "print" with them.
    QString title;
    QString person;
    QStringList subjects;

    bool hasRecord() const { return !title.isEmpty() || !person.isEmpty() || !subjects.isEmpty(); }
    // Without a text or record nothing is written, so the file stays as the encoder made it.
    bool isEmpty() const { return text.isEmpty() && !hasRecord(); }
};

// The text as every format gets it: valid UTF-8 (a lone surrogate becomes
// U+FFFD), no NUL or other control characters but line ends and tabs.
QString CleanCaption(const QString &text);

// The caption as a JPEG encoder writes it, cleaned: the payloads of its APP1
// Exif, APP1 XMP and APP13 IPTC markers (empty: no such marker). A JPEG
// segment holds about 60 KB of text: a longer one is cut there, and the log
// says so. False with why (Dutch) when the blocks cannot be made or do not fit.
struct JpegCaptionMarkers {
    QByteArray exif, xmp, iptc;
};
bool MakeJpegCaption(const PictureCaption &caption, JpegCaptionMarkers &markers, QString *why = nullptr);
// Puts caption, cleaned, into the complete TIFF file held in tiff, before it
// goes to the disk. An empty caption leaves it alone. False with why on failure.
bool AddTiffCaption(QByteArray &tiff, const PictureCaption &caption, QString *why = nullptr);

// The caption of the file at path; empty when it has none (for checks and tools).
PictureCaption ReadPictureCaption(const QString &path);
