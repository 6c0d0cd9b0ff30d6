#include "split/split_files.h"

#include "common/filez.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

QString SystemReason(int error) { return DutchReason(QString::fromLocal8Bit(std::strerror(error))); }

namespace {

// The picture libraries of the decoder write their own complaints, in English,
// to the stream they inherit; the reason is told here, in Dutch. Scans are read
// on several threads at once: the first one in sends the stream away, the last
// one out brings it back.
class QuietErrors {
public:
    QuietErrors()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        if (s_users++ > 0)
            return;
        std::fflush(stderr);
        s_saved = ::dup(STDERR_FILENO);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (s_saved >= 0 && nowhere >= 0)
            ::dup2(nowhere, STDERR_FILENO);
        if (nowhere >= 0)
            ::close(nowhere);
    }
    ~QuietErrors()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        if (--s_users > 0 || s_saved < 0)
            return;
        ::dup2(s_saved, STDERR_FILENO);
        ::close(s_saved);
        s_saved = -1;
    }

private:
    static std::mutex s_mutex;
    static int s_users, s_saved;
};
std::mutex QuietErrors::s_mutex;
int QuietErrors::s_users = 0, QuietErrors::s_saved = -1;

DecodedPicture DecodeQuietly(const QString &path)
{
    QuietErrors quiet;
    return DecodeInDecoder(path);
}

} // namespace

// A scan that cannot be read is named with its reason: there is no window to
// show a placeholder in.
bool LoadScan(const QString &path, QImage &scan, QString &why)
{
    const QByteArray bytes = NativePath(path);
    struct stat st;
    const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        why = SystemReason(fd < 0 ? errno : EISDIR);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    if (!ReadPlainBmp(path, scan, PictureByteLimit() / 3 * 4)) {
        const DecodedPicture decoded = DecodeQuietly(path);
        if (decoded.outcome != PictureDecodeResult::Decoded) {
            why = DecodeReason(decoded.outcome);
            return false;
        }
        scan = decoded.picture;
    }
    if (scan.isNull() || !MakeBitmap24(scan)) {
        why = SystemReason(ENOMEM);
        return false;
    }
    return true;
}

bool MakeFolder(const QString &folder, QStringList &created, QString &why)
{
    QString at;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at += QLatin1Char('/') + part;
        const QByteArray bytes = NativePath(at);
        struct stat st;
        if (::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (::mkdir(bytes.constData(), 0777) != 0) {
            why = QStringLiteral("kan map [%1] niet maken (%2)").arg(at, SystemReason(errno));
            return false;
        }
        created << at;
    }
    return true;
}

bool Taken(const QString &path)
{
    struct stat st;
    return ::lstat(NativePath(path).constData(), &st) == 0;
}


void Print(FILE *stream, const QString &text) { std::fputs((NativePath(text) + '\n').constData(), stream); }

int Fail(const QString &why, int code)
{
    Print(stderr, QStringLiteral("kvnscan-split: ") + why);
    return code;
}

void RemoveWritten(const QStringList &written, const QStringList &created)
{
    for (const QString &p : written)
        ::unlink(NativePath(p).constData());
    for (auto f = created.crbegin(); f != created.crend(); ++f)
        ::rmdir(NativePath(*f).constData());
}
