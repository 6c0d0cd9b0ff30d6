#include "scanwindow/card_files.h"

#include "detection/cut_out.h"

#include "common/filez.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

// The names in folder that match, all read before anything in it changes.
template <typename Match> QList<QByteArray> NamesIn(const QByteArray &folder, Match match)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir))
            if (const QByteArray name(e->d_name); match(name))
                names << name;
        ::closedir(dir);
    }
    return names;
}

// Calls take(path, fd, status) for every card list in folder that no save holds,
// opened and locked; with a stem, only the lists of that card.
template <typename Take> void ForUnheldLists(const QByteArray &folder, const QByteArray &stem, Take take)
{
    const QList<QByteArray> lists = NamesIn(folder, [&](const QByteArray &name) {
        return isCardListName(name)
            && (stem.isEmpty() || (name.startsWith(stem) && name.size() == stem.size() + kCardListRandom + kCardListSuffix.size()));
    });
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

// Where the old file of a list's i-th name is kept while the card is saved.
QByteArray KeptName(const QByteArray &list, int i) { return list + '.' + QByteArray::number(i); }

// A second name for an old file; a plain copy where the file system has no links.
int KeepOld(const QByteArray &from, const QByteArray &to)
{
    if (::link(from.constData(), to.constData()) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != EXDEV && errno != ENOSYS)
        return errno;
    QFile old(PathFromNative(from));
    if (!old.open(QIODevice::ReadOnly))
        return EACCES;
    const QByteArray bytes = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return EIO;
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(to.constData());
            return error;
        }
        done += std::max<ssize_t>(n, 0);
    }
    struct stat st;
    if (::stat(from.constData(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    return ::close(fd) == 0 ? 0 : errno;
}

// The old files of names back under their names, the new ones without an old
// one removed; true when nothing stayed behind.
bool PutOldBack(const QByteArray &folder, const QByteArray &list, const QList<QByteArray> &names, bool log)
{
    bool clean = true;
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray &name = names[i];
        if (name.isEmpty() || name.contains('/'))
            continue;
        const QByteArray path = folder + '/' + name, kept = KeptName(list, i);
        struct stat st;
        if (::lstat(kept.constData(), &st) == 0) {
            // A rename between two names of one file changes nothing: the second goes by hand.
            if (::rename(kept.constData(), path.constData()) == 0)
                ::unlink(kept.constData());
            else
                clean = clean && errno == ENOENT;
        } else if (::unlink(path.constData()) == 0) {
            if (log)
                LogText(QStringLiteral("Half opgeslagen kaart opgeruimd: ") + PathFromNative(path));
        } else if (errno != ENOENT) {
            clean = false;
        }
    }
    return clean;
}

// Kept old files of list no name speaks of any more: the card was whole, or its
// list not yet written.
void RemoveStrayKept(const QByteArray &folder, const QByteArray &list)
{
    const QByteArray prefix = list.mid(folder.size() + 1) + '.';
    const QList<QByteArray> stray = NamesIn(folder, [&](const QByteArray &name) {
        bool digits = name.size() > prefix.size() && name.startsWith(prefix);
        for (qsizetype i = prefix.size(); digits && i < name.size(); ++i)
            digits = name.at(i) >= '0' && name.at(i) <= '9';
        return digits;
    });
    for (const QByteArray &name : stray)
        ::unlink((folder + '/' + name).constData());
}

// What a killed save left of a card: its old files back, then its list gone.
void UndoHalfCard(const QByteArray &folder, const QByteArray &list, int fd, const struct stat &st, bool log)
{
    if (st.st_size > (1 << 20))
        return;
    QByteArray names(int(st.st_size), '\0');
    if (::read(fd, names.data(), size_t(names.size())) != names.size())
        return;
    if (PutOldBack(folder, list, names.isEmpty() ? QList<QByteArray>() : names.split('\0'), log)) {
        RemoveStrayKept(folder, list);
        ::unlink(list.constData());
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
    // A list a killed save left for this same card: the old card comes back first.
    ForUnheldLists(folder, stem, [&](const QByteArray &list, int fd, const struct stat &st) {
        UndoHalfCard(folder, list, fd, st, false);
    });
    m_list = folder + '/' + stem + QByteArray(kCardListRandom, 'X') + kCardListSuffix;
    m_fd = ::mkostemps(m_list.data(), int(kCardListSuffix.size()), O_CLOEXEC);
    if (m_fd < 0) {
        m_list.clear();
        return;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    QByteArray names;
    for (const QString &p : paths) {
        m_names << NativePath(QFileInfo(p).fileName());
        names += m_names.last() + '\0';
    }
    // Every old file is kept before the list names it: a list names only cards
    // whose old files all have their second name.
    for (int i = 0; i < m_names.size() && !m_error; ++i) {
        struct stat st;
        const QByteArray path = folder + '/' + m_names[i];
        if (::lstat(path.constData(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            m_error = KeepOld(path, KeptName(m_list, i));
    }
    // Written before the first file of the card changes; a killed process leaves it whole.
    errno = 0;
    if (!m_error && ::write(m_fd, names.constData(), size_t(names.size())) != names.size())
        m_error = errno ? errno : ENOSPC;
    if (m_error) {
        // Nothing of the card changed: no list, no kept file.
        for (int i = 0; i < m_names.size(); ++i)
            ::unlink(KeptName(m_list, i).constData());
        ::unlink(m_list.constData());
        ::close(m_fd);
        m_fd = -1;
        m_names.clear();
    }
}

CardUnit::~CardUnit()
{
    if (m_fd < 0)
        return;
    if (!m_names.isEmpty())
        undo();
    ::close(m_fd);
}

void CardUnit::keep()
{
    if (m_fd < 0)
        return;
    // An empty list is the moment the card is whole: the kept files are strays from here on.
    ::ftruncate(m_fd, 0);
    for (int i = 0; i < m_names.size(); ++i)
        ::unlink(KeptName(m_list, i).constData());
    ::unlink(m_list.constData());
    m_names.clear();
}

bool CardUnit::undo()
{
    if (m_fd < 0)
        return false;
    // A file that could not be put back stays kept, and the list with it, for the next save.
    if (PutOldBack(FolderOf(m_list), m_list, m_names, false))
        ::unlink(m_list.constData());
    m_names.clear();
    return true;
}

void RemoveHalfSavedCards(const QString &folder)
{
    const QByteArray dir = NativePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    const time_t now = std::time(nullptr);
    ForUnheldLists(dir, QByteArray(), [&](const QByteArray &list, int fd, const struct stat &st) {
        if (now - st.st_mtime >= kStaleTemporarySeconds)
            UndoHalfCard(dir, list, fd, st, true);
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
