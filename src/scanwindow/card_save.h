#pragma once
// One card saved as one unit, for the window and for kvnscan-split alike: its
// joined picture, side files, text file and caption all appear under their
// names, or none of it does and the reason is told. No widgets.
#include "imaging/picture_caption.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class ReplacingSave;
struct SaveUnit;

struct CardSaveInput {
    QImage joined;            // the card's picture
    QImage front, back;       // its sides alone: written beside it when both are there
    QString path;             // where the picture goes, already checked
    int quality = 0, dpi = 0;
    QString text;             // its text file's; none when empty
    PictureCaption caption;   // inside every picture that carries one
    QStringList leftovers;    // files of an old card at this number this one does not rewrite
    bool emptyText = false;   // a text file even for an empty text
};

struct CardSaveResult {
    bool ok = false;
    QStringList files;   // the card's files under their names, its picture first
    QString failed;      // the file that failed
    int error = 0;       // the system's error (errno) of the failure, 0 when unknown
    QString reason;      // what failed and why, in Dutch; empty when unknown
    QString kept;        // a saved card's leftover that could not be removed
    // A full disk, a full quota or a file too large for where it goes: the next card fails as well.
    bool noRoom() const;
};

class CardSave {
public:
    explicit CardSave(CardSaveInput input);
    ~CardSave();   // drops the temporaries of a card not committed
    CardSave(const CardSave &) = delete;
    CardSave &operator=(const CardSave &) = delete;

    // The card's files: picture, sides, text file (not the leftovers).
    QStringList paths() const;
    // Whether encode may run on any thread: every picture has a writer of our own.
    bool anyThread() const;
    // Writes every file of the card to a hidden temporary beside its name, the
    // caption going in while a picture is encoded. False at the first failure.
    bool encode();
    // After encode: every file put in place under the card's list, the leftovers
    // removed. On a failure none of the card's new files stays.
    bool commit();
    // Marks the card failed with reason (what encode threw).
    void fail(const QString &reason);
    const CardSaveResult &result() const { return m_result; }
    const CardSaveInput &input() const { return m_input; }

private:
    struct Part;
    bool failPart(const QString &path, int error, const QString &reason);
    bool writeLibraryPictures();

    CardSaveInput m_input;
    std::vector<std::unique_ptr<Part>> m_parts;
    CardSaveResult m_result;
    bool m_encoded = false;
};

// For tests: asked before each file of a card is put in place; an errno other
// than 0 fails that step as the system would.
extern int (*CardPlacingFault)(const QString &path);

// The card encoded and put in place at once, on this thread.
CardSaveResult SaveCardNow(const CardSaveInput &input);
// The card as a unit of a save queue; done gets the result on the queue's thread.
SaveUnit CardSaveUnit(const CardSaveInput &input, std::function<void(const CardSaveResult &)> done);
