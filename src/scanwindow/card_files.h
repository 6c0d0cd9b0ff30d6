#pragma once
// The files that go with one saved picture, shared by the window and by
// kvnscan-split: the accompanying text file and a card's separate sides.
#include <QString>
#include <QStringList>

struct CardPictures;
struct PictureCaption;

// The accompanying text file: the picture's path with its extension replaced
// by ".txt" (appended when the name has none).
QString TextFilePath(const QString &picturePath);
// Writes text as lines ending in CR LF, replacing the file only once complete.
bool WriteTextLines(const QString &path, const QString &text, QString *why = nullptr);

// "kaart001.JPG" gives "kaart001-voorkant.JPG" (back: "kaart001-achterkant.JPG").
QString SideFilePath(const QString &joinedPath, bool back);
// The side files card has (none without the sides option or a partner).
QStringList SideFilePaths(const CardPictures &card, const QString &joinedPath);
// Saves card's front and back beside joinedPath. Every path written is added to
// written; false at the first that fails, with its path in failed.
bool SaveSideFiles(const CardPictures &card, const QString &joinedPath, int quality, int dpi,
                   const PictureCaption *caption, QStringList &written, QString &failed);
