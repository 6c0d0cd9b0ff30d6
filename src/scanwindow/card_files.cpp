#include "scanwindow/card_files.h"

#include "detection/cut_out.h"
#include "imaging/picture_file.h"

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

bool WriteTextLines(const QString &path, const QString &text, QString *why)
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
    return WriteFileAtomically(path, bytes, why);
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

bool SaveSideFiles(const CardPictures &card, const QString &joinedPath, int quality, int dpi,
                   const PictureCaption *caption, QStringList &written, QString &failed, CardUnit *unit)
{
    const QStringList paths = SideFilePaths(card, joinedPath);
    for (int i = 0; i < paths.size(); ++i) {
        if (SavePictureFile(i == 0 ? card.front : card.back, paths[i], quality, dpi, caption) < 0) {
            failed = paths[i];
            return false;
        }
        written << paths[i];
        if (unit)
            unit->placed(paths[i]);
    }
    return true;
}

namespace {

const QByteArray kCardListSuffix = ".card";

// "." + name + "." + six letters or digits + ".card"
bool isCardListName(const QByteArray &n)
{
    const int tail = 1 + 6 + int(kCardListSuffix.size());
    return n.size() > 1 + tail && n.at(0) == '.' && n.endsWith(kCardListSuffix) && n.at(n.size() - tail) == '.';
}

// A file as the list knows it: folder entry name, device, inode and change time.
QByteArray Identity(const QByteArray &path, const QByteArray &name)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return QByteArray::number(qulonglong(st.st_dev)) + ' ' + QByteArray::number(qulonglong(st.st_ino)) + ' '
         + QByteArray::number(qlonglong(st.st_ctim.tv_sec)) + ' ' + QByteArray::number(qlonglong(st.st_ctim.tv_nsec))
         + ' ' + name + '\0';
}

QByteArray FolderOf(const QByteArray &path)
{
    const int slash = int(path.lastIndexOf('/'));
    return slash < 0 ? QByteArray(".") : path.left(slash == 0 ? 1 : slash);
}

void RemoveListed(const QByteArray &folder, const QByteArray &list)
{
    for (const QByteArray &entry : list.split('\0')) {
        int at = -1;
        for (int field = 0; field < 4 && (at = int(entry.indexOf(' ', at + 1))) >= 0; ++field) {
        }
        if (at < 0)
            continue;
        const QByteArray name = entry.mid(at + 1), path = folder + '/' + name;
        if (name.isEmpty() || name.contains('/') || Identity(path, name) != entry + '\0')
            continue;   // replaced since, or gone: not the half card's file
        if (::unlink(path.constData()) == 0)
            LogText(QStringLiteral("Half opgeslagen kaart opgeruimd: ") + PathFromNative(path));
    }
}

} // namespace

CardUnit::CardUnit(const QStringList &paths)
{
    if (paths.size() < 2)
        return;
    const QByteArray first = NativePath(QFileInfo(paths.first()).absoluteFilePath());
    const QByteArray folder = FolderOf(first);
    QByteArray name = first.mid(folder.size() + 1).left(200);
    m_list = folder + "/." + name + ".XXXXXX" + kCardListSuffix;
    m_fd = ::mkostemps(m_list.data(), int(kCardListSuffix.size()), O_CLOEXEC);
    if (m_fd < 0) {
        m_list.clear();
        return;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    for (const QString &p : paths)
        note(p);
}

void CardUnit::note(const QString &path)
{
    if (m_fd < 0)
        return;
    const QByteArray native = NativePath(QFileInfo(path).absoluteFilePath());
    const QByteArray entry = Identity(native, native.mid(FolderOf(native).size() + 1));
    // Written before the next file of the card goes in place.
    if (!entry.isEmpty() && ::write(m_fd, entry.constData(), size_t(entry.size())) == entry.size())
        ::fdatasync(m_fd);
}

void CardUnit::placed(const QString &path) { note(path); }

CardUnit::~CardUnit()
{
    if (m_fd < 0)
        return;
    ::unlink(m_list.constData());
    ::close(m_fd);
}

void RemoveHalfSavedCards(const QString &folder)
{
    const QByteArray dirName = NativePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR *dir = ::opendir(dirName.constData());
    if (!dir)
        return;
    QList<QByteArray> lists;
    while (const dirent *e = ::readdir(dir))
        if (isCardListName(QByteArray(e->d_name)))
            lists << QByteArray(e->d_name);
    ::closedir(dir);
    const time_t now = std::time(nullptr);
    for (const QByteArray &name : lists) {
        const QByteArray path = dirName + '/' + name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A save holds its list locked until the card is whole.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && now - st.st_mtime >= kStaleTemporarySeconds && st.st_size < (1 << 20)
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            QByteArray list(int(st.st_size), '\0');
            if (::read(fd, list.data(), size_t(list.size())) == list.size())
                RemoveListed(dirName, list);
            ::unlink(path.constData());
        }
        ::close(fd);
    }
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
