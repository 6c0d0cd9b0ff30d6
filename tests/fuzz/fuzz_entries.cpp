#include "fuzz_entries.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "common/terminology.h"
#include "codec/free_bitmap.h"
#include "codec/freeimage_library.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_file.h"
#include "scanner/bridge/frame_assembler.h"
#include "scanwindow/file_naming.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>

namespace {
QString textOf(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
}
}

void FuzzSettings(const uint8_t *data, size_t size)
{
    SettingsList s;
    s.loadFromBytes(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    // Whatever was read must survive a write and read back unchanged.
    QByteArray once = s.toBytes();
    SettingsList t;
    t.loadFromBytes(once);
    if (t.lines() != s.lines() || t.toBytes() != once)
        __builtin_trap();
    if (!s.lines().isEmpty()) {
        QString name = s.lines().first().section('=', 0, 0);
        if (name.isEmpty())
            return;
        const QString value = s.value(name) + "x";
        s.setValue(name, value);
        if (s.value(name) != value || !s.contains(name))
            __builtin_trap();
        s.setValue(name, QString());
        if (s.lines().size() >= t.lines().size() + 1)
            __builtin_trap();
    }
}

void FuzzNextFileName(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    int digits = data[0] % 12;
    QString name = textOf(data + 1, size - 1);
    QString next = NextFileName(name, digits);
    if (next.isEmpty() || (!name.isEmpty() && next == name))
        __builtin_trap();
    // The extension stays; the next name after that is different again.
    const int dot = name.lastIndexOf('.');
    if (dot >= 0 && !next.endsWith(name.mid(dot)))
        __builtin_trap();
    if (NextFileName(next, digits) == next)
        __builtin_trap();
}

void FuzzTexts(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    // A flag byte, then three texts separated by NUL bytes: text, find, replacement.
    const bool caseSensitive = data[0] & 1;
    QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1)).split('\0');
    while (parts.size() < 3)
        parts.append(QByteArray());
    QString text = QString::fromUtf8(parts[0]);
    QString find = QString::fromUtf8(parts[1]).left(16);
    QString repl = QString::fromUtf8(parts[2]).left(16);
    // Passes repeat up to 100000 replacements by design; a replacement longer
    // than find can grow the text by a few characters a pass and take hours.
    if (repl.size() <= find.size()) {
        QString t = text.left(200);
        ReplaceAllText(t, find, repl, caseSensitive);
    }
    QString u = text.left(2000);
    ReplaceFirstText(u, find, repl, caseSensitive);
    CapitaliseName(text.left(400), data[0] & 2, nullptr);
    ExpandPlaceholders(text.left(2000));
    if (LowerText(text.left(2000)).size() != text.left(2000).size())
        __builtin_trap();
}

void FuzzFrameAssembler(const uint8_t *data, size_t size)
{
    // One byte for the frame count, then per frame a 17-byte header (format,
    // last frame, depth, then pixels per line, lines and bytes per line as
    // signed 32-bit little-endian, then a 16-bit data length) and its bytes.
    if (size < 1)
        return;
    const int frames = 1 + data[0] % 4;
    size_t pos = 1;
    auto i32 = [](const uint8_t *p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); };
    std::vector<ScanFrame> list;
    for (int f = 0; f < frames && pos + 17 <= size; ++f) {
        ScanFrame fr;
        const uint8_t *h = data + pos;
        fr.params.format = SANE_Frame(h[0] % 6);   // 5 is no format at all
        fr.params.last_frame = (h[1] & 1) ? SANE_TRUE : SANE_FALSE;
        const int depths[] = {1, 8, 16, h[2]};
        fr.params.depth = depths[h[2] % 4];
        fr.params.pixels_per_line = i32(h + 3);
        fr.params.lines = i32(h + 7);
        fr.params.bytes_per_line = i32(h + 11);
        size_t len = size_t(h[15] | (h[16] << 8));
        pos += 17;
        len = std::min(len, size - pos);
        fr.data.assign(data + pos, data + pos + len);
        pos += len;
        list.push_back(std::move(fr));
    }
    AssembledPicture p = AssembleFrames(list);
    if (p.error.isEmpty() == p.image.isNull())
        __builtin_trap();   // exactly one of a picture and an error
    if (p.image.isNull())
        return;
    // The picture is as wide as announced and no taller than the bytes allow.
    const SANE_Parameters &p0 = list[0].params;
    if (p.image.width() != p0.pixels_per_line)
        __builtin_trap();
    if (p0.lines > 0 && p.image.height() != p0.lines)
        __builtin_trap();
    if (uint64_t(p.image.height()) * uint64_t(p0.bytes_per_line) > list[0].data.size())
        __builtin_trap();
}

// Which extension a loaded file gets, by the first input byte. New kinds go
// at the end, so that the inputs kept so far keep theirs.
const char *const kPictureExtensions[] = {
    ".bmp", ".jpg", ".tif", ".gif", ".png", ".ico", ".dat", ".ppm", ".pgm", ".pbm", ".tga", ".wbmp",
    ".psd", ".j2k", ".jp2", ".exr", ".hdr", ".pfm", ".webp", ".jxr", ".xpm", ".xbm", ".pcx", ".ras",
    ".sgi", ".iff", ".dds", ".mng", ".pct", ".jng", ".koa", ".cut", ".g3", ".pcd"};
const int kPictureExtensionCount = int(sizeof(kPictureExtensions) / sizeof(kPictureExtensions[0]));

int PictureExtensionIndex(const char *extension)
{
    for (int i = 0; i < kPictureExtensionCount; ++i)
        if (std::strcmp(kPictureExtensions[i] + 1, extension) == 0)
            return i;
    return -1;
}

void FuzzLoadPicture(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    static QTemporaryDir dir;
    static int n = 0;
    // Low, so that the checks before decoding are what stops large claims.
    SetPictureByteLimit(qint64(64) << 20);
    // A few names over and over, each write with a new time: the unreadable list
    // knows a file by name, size and time, so every input is read afresh.
    const QString path = dir.path() + "/f" + QString::number(n % 16) + kPictureExtensions[data[0] % kPictureExtensionCount];
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    f.flush();   // the time is set after the last write
    f.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + n), QFileDevice::FileModificationTime);
    f.close();
    ++n;
#ifdef KVN_FUZZ_TARGET
    // The decoder program's own work, in this process where the fuzzer sees
    // it; the fuzzer's limits (run-fuzzers.sh) are the decoder's.
    QImage decoded;
    const PictureDecodeResult result = DecodePictureFile(path, decoded, {});
    if (result == PictureDecodeResult::Decoded
        && (decoded.isNull() || decoded.format() != QImage::Format_BGR888
            || qint64(decoded.width()) * decoded.height() * 3 > PictureByteLimit()))
        __builtin_trap();
    if (result == PictureDecodeResult::NotAPicture) {
        const FREE_IMAGE_FORMAT fif = TFreeBitmap::FileFormat(path);
        if (fif != FIF_UNKNOWN && FI().FIFSupportsReading(fif))
            __builtin_trap();
    }
#else
    // Replayed through the decoder program itself, with a shorter time limit.
    SetDecodeSeconds(2);
    static const QImage before = [] {
        QImage i(2, 2, QImage::Format_BGR888);
        i.fill(Qt::red);
        return i;
    }();
    QImage picture = before;
    if (!LoadPictureFile(picture, path))
        __builtin_trap();   // a new file is always attempted
    const bool placeholder = picture.cacheKey() == UnreadablePlaceholder().cacheKey()
        || (picture.size() == UnreadablePlaceholder().size() && picture == UnreadablePlaceholder());
    if (placeholder != IsKnownUnreadable(path))
        __builtin_trap();   // the placeholder exactly when the file is remembered as unreadable
    if (picture.cacheKey() == before.cacheKey()) {
        // Left as it was: only for a file the library does not take for a picture.
        const FREE_IMAGE_FORMAT fif = TFreeBitmap::FileFormat(path);
        if (fif != FIF_UNKNOWN && FI().FIFSupportsReading(fif))
            __builtin_trap();
    } else if (!placeholder) {
        if (picture.isNull() || picture.format() != QImage::Format_BGR888
            || qint64(picture.width()) * picture.height() * 3 > PictureByteLimit())
            __builtin_trap();
    }
#endif
    QFile::remove(path);
}

const FuzzTarget kFuzzTargets[] = {
    {"settings", FuzzSettings},
    {"nextfilename", FuzzNextFileName},
    {"texts", FuzzTexts},
    {"frames", FuzzFrameAssembler},
    {"loadpicture", FuzzLoadPicture},
};
const int kFuzzTargetCount = int(sizeof(kFuzzTargets) / sizeof(kFuzzTargets[0]));
