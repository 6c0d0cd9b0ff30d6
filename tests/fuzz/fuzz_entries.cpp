#include "fuzz_entries.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "common/terminology.h"
#include "imaging/picture_file.h"
#include "scanner/bridge/frame_assembler.h"
#include "scanwindow/file_naming.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
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
    if (t.toBytes() != once)
        __builtin_trap();
    if (!s.lines().isEmpty()) {
        QString name = s.lines().first().section('=', 0, 0);
        s.setValue(name, s.value(name) + "x");
        s.setValue(name, QString());
    }
}

void FuzzNextFileName(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    int digits = data[0] % 8;
    QString name = textOf(data + 1, size - 1);
    QString next = NextFileName(name, digits < 1 ? 1 : digits);
    if (next.isEmpty())
        __builtin_trap();
}

void FuzzTexts(const uint8_t *data, size_t size)
{
    // Three texts separated by NUL bytes: text, find, replacement.
    QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0');
    while (parts.size() < 3)
        parts.append(QByteArray());
    QString text = QString::fromUtf8(parts[0]);
    QString find = QString::fromUtf8(parts[1]).left(16);
    QString repl = QString::fromUtf8(parts[2]).left(16);
    QString t = text.left(2000);
    ReplaceAllText(t, find, repl, false);
    QString u = text.left(2000);
    ReplaceFirstText(u, find, repl, false);
    CapitaliseName(text.left(400), size % 2 == 0, nullptr);
    ExpandPlaceholders(text.left(2000));
    LowerText(text.left(2000));
}

void FuzzFrameAssembler(const uint8_t *data, size_t size)
{
    // Header: up to three frames' parameters, then the bytes split among them.
    if (size < 2)
        return;
    int frames = 1 + data[0] % 3;
    size_t pos = 1;
    std::vector<ScanFrame> list;
    for (int f = 0; f < frames; ++f) {
        ScanFrame fr;
        if (pos + 12 > size)
            break;
        const uint8_t *h = data + pos;
        fr.params.format = SANE_Frame(h[0] % 5);
        fr.params.last_frame = (h[1] & 1) ? SANE_TRUE : SANE_FALSE;
        fr.params.depth = (h[2] % 4 == 0) ? 1 : (h[2] % 4 == 1) ? 8 : (h[2] % 4 == 2) ? 16 : h[2];
        fr.params.pixels_per_line = int16_t(h[3] | (h[4] << 8));
        fr.params.lines = int16_t(h[5] | (h[6] << 8));
        fr.params.bytes_per_line = int16_t(h[7] | (h[8] << 8));
        size_t len = size_t(h[9] | (h[10] << 8));
        pos += 12;
        len = std::min(len, size - pos);
        fr.data.assign(data + pos, data + pos + len);
        pos += len;
        list.push_back(std::move(fr));
    }
    if (list.empty())
        return;
    AssembledPicture p = AssembleFrames(list);
    if (p.error.isEmpty() && p.image.isNull())
        __builtin_trap();
}

void FuzzLoadPicture(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static int n = 0;
    // A fresh name each time: unreadable files are remembered by name.
    static const char *exts[] = {".bmp", ".jpg", ".tif", ".gif"};
    QString path = dir.path() + "/f" + QString::number(n++) + exts[size % 4];
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(reinterpret_cast<const char *>(data), qint64(size));
    f.close();
    QImage picture;
    LoadPictureFile(picture, path);
    if (picture.isNull())
        __builtin_trap();  // unreadable files give the placeholder, never nothing
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
