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
class CardUnit;
// Saves card's front and back beside joinedPath. Every path written is added to
// written (and to unit, when given); false at the first that fails, with its path in failed.
bool SaveSideFiles(const CardPictures &card, const QString &joinedPath, int quality, int dpi,
                   const PictureCaption *caption, QStringList &written, QString &failed,
                   CardUnit *unit = nullptr);

// A card's files as one unit. While a card is saved, a hidden list lies beside it,
// locked: the files of its number it replaces and each new file once in place,
// with the file's identity. It goes when the card is whole; a list left by a
// killed save names the files of a half card.
class CardUnit {
public:
    // paths: every file of the card's number, all in one folder; those that
    // exist now are the card being replaced.
    explicit CardUnit(const QStringList &paths);
    ~CardUnit();   // the card is whole, or nothing of it changed
    CardUnit(const CardUnit &) = delete;
    CardUnit &operator=(const CardUnit &) = delete;
    void placed(const QString &path);   // a new file of the card is in place

private:
    void note(const QString &path);
    QByteArray m_list;
    int m_fd = -1;
};
// Removes the files named by card lists in folder that no save holds and that
// were not written for kStaleTemporarySeconds (the rule of hidden temporaries),
// each only while it is still the file the list saw; then the lists.
void RemoveHalfSavedCards(const QString &folder);
// Removes paths that exist; false with the first that stays in failed.
bool RemoveFiles(const QStringList &paths, QString *failed = nullptr);
