#pragma once
// The files that go with one saved picture, shared by the window and by
// kvnscan-split: the accompanying text file and a card's separate sides.
#include <QString>
#include <QStringList>

struct CardPictures;

// The accompanying text file: the picture's path with its extension replaced
// by ".txt" (appended when the name has none).
QString TextFilePath(const QString &picturePath);
// text as the lines of a text file, each ending in CR LF.
QByteArray TextLinesBytes(const QString &text);
// Writes text as lines ending in CR LF, replacing the file only once complete.
bool WriteTextLines(const QString &path, const QString &text, QString *why = nullptr);

// "kaart001.JPG" gives "kaart001-voorkant.JPG" (back: "kaart001-achterkant.JPG").
QString SideFilePath(const QString &joinedPath, bool back);
// The side files card has (none without the sides option or a partner).
QStringList SideFilePaths(const CardPictures &card, const QString &joinedPath);
// A card's files as one unit. While a card is saved, a hidden list of every file
// of its number (those it writes and the old ones it removes) lies beside it,
// locked, and every old file of the card is kept under a hidden name of its
// own until the new card is whole. A list left by a killed save brings the old
// card back whole; a new save of the same card first does so itself.
class CardUnit {
public:
    // paths: the card's picture first, then its other files, all in one folder.
    // No list for a single file.
    explicit CardUnit(const QStringList &paths);
    ~CardUnit();   // undoes the card unless kept
    CardUnit(const CardUnit &) = delete;
    CardUnit &operator=(const CardUnit &) = delete;

    // The system's error (errno) when an old file could not be kept: nothing
    // of the card may change then.
    int error() const { return m_error; }
    // The new card is whole: the old files go.
    void keep();
    // The old card back as it was, what is new removed. False without a list.
    bool undo();

private:
    QByteArray m_list;
    QList<QByteArray> m_names;
    int m_fd = -1;
    int m_error = 0;
};
// Undoes the cards named by card lists in folder that no save holds and that
// were not written for kStaleTemporarySeconds (the rule of hidden temporaries):
// their old files come back, new ones go, then the lists.
void RemoveHalfSavedCards(const QString &folder);
// Removes paths that exist; false with the first that stays in failed.
bool RemoveFiles(const QStringList &paths, QString *failed = nullptr);
