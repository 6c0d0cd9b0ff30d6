#include "scanwindow/card_save.h"

#include "common/filez.h"
#include "imaging/picture_file.h"
#include "imaging/save_queue.h"
#include "scanwindow/card_files.h"

#include <cerrno>
#include <cstring>

struct CardSave::Part {
    QString path;
    const QImage *picture = nullptr;   // null: the text file
    std::unique_ptr<ReplacingSave> file;
    bool library = false;              // written in place by the image library, at commit
    bool placed = false;
};

int (*CardPlacingFault)(const QString &path) = nullptr;

namespace {
QString SystemReason(int error) { return DutchReason(QString::fromLocal8Bit(std::strerror(error))); }
QString ReplaceFailed(int error) { return QStringLiteral("vervangen mislukt: ") + SystemReason(error); }
}

bool CardSaveResult::noRoom() const
{
    if (error)
        return error == ENOSPC || error == EDQUOT || error == EFBIG;
    for (const int e : {ENOSPC, EDQUOT, EFBIG})
        if (reason.contains(SystemReason(e)))
            return true;
    return false;
}

CardSave::CardSave(CardSaveInput input) : m_input(std::move(input))
{
    const auto add = [this](const QString &path, const QImage *picture) {
        auto part = std::make_unique<Part>();
        part->path = path;
        part->picture = picture;
        part->library = picture && !HasDirectWriter(path);
        m_parts.push_back(std::move(part));
    };
    add(m_input.path, &m_input.joined);
    if (!m_input.front.isNull() && !m_input.back.isNull()) {
        add(SideFilePath(m_input.path, false), &m_input.front);
        add(SideFilePath(m_input.path, true), &m_input.back);
    }
    if (!m_input.text.isEmpty() || m_input.emptyText)
        add(TextFilePath(m_input.path), nullptr);
}

CardSave::~CardSave() = default;

QStringList CardSave::paths() const
{
    QStringList paths;
    for (const auto &part : m_parts)
        paths << part->path;
    return paths;
}

bool CardSave::anyThread() const
{
    for (const auto &part : m_parts)
        if (part->library)
            return false;
    return true;
}

bool CardSave::failPart(const QString &path, int error, const QString &reason)
{
    if (m_result.failed.isEmpty()) {
        m_result.failed = path;
        m_result.error = error;
        m_result.reason = reason;
    }
    m_result.ok = false;
    // Dropping the saves removes their temporaries.
    for (auto &part : m_parts)
        part->file.reset();
    return false;
}

void CardSave::fail(const QString &reason) { failPart(m_input.path, 0, reason); }

bool CardSave::encode()
{
    m_encoded = true;
    for (auto &part : m_parts) {
        if (part->library)
            continue;
        part->file = std::make_unique<ReplacingSave>(part->path);
        if (!part->picture) {
            if (!part->file->write(TextLinesBytes(m_input.text)))
                return failPart(part->path, part->file->error(), part->file->reason());
            continue;
        }
        QImage picture = *part->picture;
        QString why;
        if (!MakeBitmap24(picture) || picture.isNull())
            return failPart(part->path, ENOMEM, QStringLiteral("niet gemaakt"));
        if (!WriteDirect(*part->file, picture, part->path, m_input.quality, m_input.dpi, &m_input.caption, &why))
            return failPart(part->path, part->file->error(), why);
    }
    return true;
}

bool CardSave::writeLibraryPictures()
{
    for (auto &part : m_parts) {
        if (!part->library)
            continue;
        QString why;
        if (SavePictureFile(*part->picture, part->path, m_input.quality, m_input.dpi, &m_input.caption, &why) < 0)
            return failPart(part->path, 0, why);
        part->placed = true;
    }
    return true;
}

bool CardSave::commit()
{
    if (!m_encoded)
        encode();
    if (!m_result.failed.isEmpty())
        return false;
    // A list of every file of the number lies beside them until the card is whole,
    // the old files kept under second names: a save killed halfway is undone by the next one.
    CardUnit unit(paths() + m_input.leftovers);
    if (unit.error())
        return failPart(m_input.path, unit.error(), ReplaceFailed(unit.error()));
    bool whole = writeLibraryPictures();
    for (auto &part : m_parts) {
        if (!whole || !part->file)
            continue;
        if (const int fault = CardPlacingFault ? CardPlacingFault(part->path) : 0) {
            whole = failPart(part->path, fault, ReplaceFailed(fault));
            break;
        }
        if (!part->file->commit()) {
            whole = failPart(part->path, part->file->error(), part->file->reason());
            break;
        }
        part->placed = true;
    }
    if (!whole) {
        // All of a card or none of it: the old card comes back, what is new goes.
        if (!unit.undo())
            for (auto &part : m_parts)
                if (part->placed)
                    RemoveFiles({part->path});
        return false;
    }
    QString stays;
    if (!RemoveFiles(m_input.leftovers, &stays))
        m_result.kept = stays;
    unit.keep();
    m_result.ok = true;
    m_result.files = paths();
    return true;
}

CardSaveResult SaveCardNow(const CardSaveInput &input)
{
    CardSave card(input);
    card.commit();
    return card.result();
}

SaveUnit CardSaveUnit(const CardSaveInput &input, std::function<void(const CardSaveResult &)> done)
{
    auto card = std::make_shared<CardSave>(input);
    SaveUnit unit;
    unit.paths = card->paths();
    unit.anyThread = card->anyThread();
    unit.encode = [card] { card->encode(); };
    unit.commit = [card, done](const QString &thrown) {
        if (!thrown.isEmpty())
            card->fail(thrown);
        card->commit();
        if (done)
            done(card->result());
    };
    return unit;
}
