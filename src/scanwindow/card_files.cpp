#include "scanwindow/card_files.h"

#include "detection/cut_out.h"

#include "common/filez.h"

#include <QFileInfo>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// A dot in a folder name is no extension, so a picture without one gets
// ".txt" appended and its text stays beside it.
QString TextFilePath(const QString &picturePath)
{
    int dot = picturePath.lastIndexOf('.');
    int slash = picturePath.lastIndexOf('/');
    if (dot <= slash)
        return picturePath + QStringLiteral(".txt");
    return picturePath.left(dot) + QStringLiteral(".txt");
}

QByteArray TextLinesBytes(const QString &text)
{
    QStringList lines = text.split('\n');
    if (text.isEmpty())
        lines.clear();   // an empty text is an empty file
    else if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();   // a final line break ends the last line, it starts none
    QByteArray bytes;
    for (QString line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        bytes += line.toUtf8() + "\r\n";
    }
    return bytes;
}

bool WriteTextLines(const QString &path, const QString &text, QString *why)
{
    return WriteFileAtomically(path, TextLinesBytes(text), why);
}

QString SideFilePath(const QString &joinedPath, bool back)
{
    const QString side = back ? QStringLiteral("-achterkant") : QStringLiteral("-voorkant");
    const int dot = joinedPath.lastIndexOf('.');
    const int slash = joinedPath.lastIndexOf('/');
    if (dot <= slash)
        return joinedPath + side;
    return joinedPath.left(dot) + side + joinedPath.mid(dot);
}

QStringList SideFilePaths(const CardPictures &card, const QString &joinedPath)
{
    if (card.front.isNull() || card.back.isNull())
        return {};
    return {SideFilePath(joinedPath, false), SideFilePath(joinedPath, true)};
}

namespace {

const QByteArray kCardListSuffix = ".card";
constexpr int kCardListRandom = 6;   // the XXXXXX of mkostemps

// "." + name + "." + six letters or digits + ".card"
bool isCardListName(const QByteArray &n)
{
    const int tail = 1 + kCardListRandom + int(kCardListSuffix.size());
    return n.size() > 1 + tail && n.at(0) == '.' && n.endsWith(kCardListSuffix) && n.at(n.size() - tail) == '.';
}

QByteArray FolderOf(const QByteArray &path)
{
    const int slash = int(path.lastIndexOf('/'));
    return slash < 0 ? QByteArray(".") : path.left(slash == 0 ? 1 : slash);
}

// The list's name part: the card's picture name, shortened to leave room for the rest.
QByteArray ListStem(const QByteArray &joinedName) { return '.' + joinedName.left(200) + '.'; }

// Calls take(path, fd, status) for every card list in folder that no save holds,
// opened and locked; with a stem, only the lists of that card.
template <typename Take> void ForUnheldLists(const QByteArray &folder, const QByteArray &stem, Take take)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QList<QByteArray> lists;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (isCardListName(name)
            && (stem.isEmpty() || (name.startsWith(stem) && name.size() == stem.size() + kCardListRandom + kCardListSuffix.size())))
            lists << name;
    }
    ::closedir(dir);
    for (const QByteArray &name : lists) {
        const QByteArray path = folder + '/' + name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A save holds its list locked until the card is whole.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            take(path, fd, st);
        ::close(fd);
    }
}

} // namespace

CardUnit::CardUnit(const QStringList &paths)
{
    if (paths.size() < 2)
        return;
    const QByteArray first = NativePath(QFileInfo(paths.first()).absoluteFilePath());
    const QByteArray folder = FolderOf(first);
    const QByteArray stem = ListStem(first.mid(folder.size() + 1));
    // A list a killed save left for this same card is overtaken by this save.
    ForUnheldLists(folder, stem, [](const QByteArray &list, int, const struct stat &) { ::unlink(list.constData()); });
    m_list = folder + '/' + stem + QByteArray(kCardListRandom, 'X') + kCardListSuffix;
    m_fd = ::mkostemps(m_list.data(), int(kCardListSuffix.size()), O_CLOEXEC);
    if (m_fd < 0) {
        m_list.clear();
        return;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    QByteArray names;
    for (const QString &p : paths)
        names += NativePath(QFileInfo(p).fileName()) + '\0';
    // Written before the first file of the card changes; a killed process leaves it whole.
    // A list that could not be written names nothing and so removes nothing.
    if (::write(m_fd, names.constData(), size_t(names.size())) != names.size())
        ::ftruncate(m_fd, 0);
}

CardUnit::~CardUnit()
{
    if (m_fd < 0)
        return;
    ::unlink(m_list.constData());
    ::close(m_fd);
}

void RemoveHalfSavedCards(const QString &folder)
{
    const QByteArray dir = NativePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    const time_t now = std::time(nullptr);
    ForUnheldLists(dir, QByteArray(), [&](const QByteArray &list, int fd, const struct stat &st) {
        if (now - st.st_mtime < kStaleTemporarySeconds || st.st_size > (1 << 20))
            return;
        QByteArray names(int(st.st_size), '\0');
        if (::read(fd, names.data(), size_t(names.size())) != names.size())
            return;
        for (const QByteArray &name : names.split('\0')) {
            const QByteArray path = dir + '/' + name;
            if (!name.isEmpty() && !name.contains('/') && ::unlink(path.constData()) == 0)
                LogText(QStringLiteral("Half opgeslagen kaart opgeruimd: ") + PathFromNative(path));
        }
        ::unlink(list.constData());
    });
}

bool RemoveFiles(const QStringList &paths, QString *failed)
{
    for (const QString &p : paths) {
        const QByteArray native = NativePath(p);
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            if (failed)
                *failed = p;
            return false;
        }
    }
    return true;
}
