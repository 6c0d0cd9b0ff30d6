#include "split/split_files.h"

#include "common/filez.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString SystemReason(int error) { return DutchReason(QString::fromLocal8Bit(std::strerror(error))); }

namespace {

QString DecodeReason(PictureDecodeResult outcome)
{
    switch (outcome) {
    case PictureDecodeResult::NotAPicture: return QStringLiteral("geen plaatje dat dit programma kan lezen");
    case PictureDecodeResult::TooLarge: return QStringLiteral("het plaatje is te groot voor het geheugen");
    case PictureDecodeResult::TooSlow: return QStringLiteral("het lezen ging te traag");
    case PictureDecodeResult::NoDecoder: return QStringLiteral("het hulpprogramma kvnscan-decode ontbreekt of start niet");
    default: return QStringLiteral("het bestand is beschadigd");
    }
}

// The picture libraries of the decoder write their own complaints, in English,
// to the stream they inherit; the reason is told here, in Dutch.
DecodedPicture DecodeQuietly(const QString &path)
{
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO), nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && nowhere >= 0)
        ::dup2(nowhere, STDERR_FILENO);
    DecodedPicture decoded = DecodeInDecoder(path);
    if (saved >= 0 && nowhere >= 0)
        ::dup2(saved, STDERR_FILENO);
    for (const int fd : {saved, nowhere})
        if (fd >= 0)
            ::close(fd);
    return decoded;
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

