#pragma once
// A small genuine file of every kind the image library reads, made here: by
// the library itself where it writes the kind, by hand where it only reads it.
// Each comes with a patch making its header claim 65535 x 65535 pixels (or as
// many as the format can state). Shared by the tests and the fuzzers' seeds.
#include "codec/freeimage_library.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

struct FormatSample {
    const char *extension;
    QByteArray bytes;
    std::function<bool(QByteArray &)> claimHuge;   // false when the header was not found
};

namespace format_samples {

constexpr int kWidth = 24, kHeight = 16;
constexpr quint32 kHuge = 65535;

inline uchar *At(QByteArray &b, qsizetype offset) { return reinterpret_cast<uchar *>(b.data()) + offset; }
inline uchar Pixel(int x, int y, int c) { return uchar(x * 10 + y * 7 + c * 80); }

inline QByteArray Be16(quint16 v) { QByteArray b(2, 0); qToBigEndian(v, b.data()); return b; }
inline QByteArray Be32(quint32 v) { QByteArray b(4, 0); qToBigEndian(v, b.data()); return b; }

inline QByteArray PngChunk(const char *type, const QByteArray &data)
{
    QByteArray typed = QByteArray(type, 4) + data;
    return Be32(quint32(data.size())) + typed
        + Be32(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))));
}

// Patches width and height at two offsets, each of the given byte width and order.
inline std::function<bool(QByteArray &)> SizeAt(qsizetype w, qsizetype h, int bytes, bool big, quint32 value = kHuge)
{
    return [=](QByteArray &b) {
        if (b.size() < std::max(w, h) + bytes)
            return false;
        for (qsizetype o : {w, h}) {
            if (bytes == 2)
                big ? qToBigEndian<quint16>(quint16(value), At(b, o)) : qToLittleEndian<quint16>(quint16(value), At(b, o));
            else
                big ? qToBigEndian<quint32>(value, At(b, o)) : qToLittleEndian<quint32>(value, At(b, o));
        }
        return true;
    };
}

// As SizeAt, relative to the end of the first occurrence of marker.
inline std::function<bool(QByteArray &)> SizeAfter(QByteArray marker, qsizetype w, qsizetype h, int bytes, bool big,
                                                   quint32 value = kHuge)
{
    return [=](QByteArray &b) {
        const qsizetype at = b.indexOf(marker);
        return at >= 0 && SizeAt(at + marker.size() + w, at + marker.size() + h, bytes, big, value)(b);
    };
}

// Replaces the first text matching the pattern's start with the given text.
inline std::function<bool(QByteArray &)> TextSize(QByteArray from, QByteArray to)
{
    return [=](QByteArray &b) {
        const qsizetype at = b.indexOf(from);
        if (at < 0)
            return false;
        qsizetype end = b.indexOf('\n', at);
        b.replace(at, (end < 0 ? b.size() : end) - at, to);
        return true;
    };
}

inline bool PatchPngLike(QByteArray &b)
{
    const qsizetype at = b.indexOf("IHDR");
    if (at < 4 || at + 21 > b.size())
        return false;
    qToBigEndian<quint32>(kHuge, At(b, at + 4));
    qToBigEndian<quint32>(kHuge, At(b, at + 8));
    qToBigEndian<quint32>(quint32(crc32(0, At(b, at), 17)), At(b, at + 17));
    return true;
}

inline bool PatchJpeg(QByteArray &b)
{
    for (qsizetype i = 2; i + 9 < b.size(); ++i) {
        const uchar m = uchar(b[i + 1]);
        if (uchar(b[i]) == 0xFF && m >= 0xC0 && m <= 0xC2) {
            qToBigEndian<quint16>(0xFFFF, At(b, i + 5));
            qToBigEndian<quint16>(0xFFFF, At(b, i + 7));
            return true;
        }
    }
    return false;
}

inline bool PatchGif(QByteArray &b)
{
    if (b.size() < 13)
        return false;
    qToLittleEndian<quint16>(0xFFFF, At(b, 6));
    qToLittleEndian<quint16>(0xFFFF, At(b, 8));
    const uchar flags = uchar(b[10]);
    qsizetype image = 13 + ((flags & 0x80) ? 3 * (2 << (flags & 7)) : 0);
    while (image + 2 < b.size() && uchar(b[image]) == 0x21) {
        image += 2;
        while (image < b.size() && b[image] != 0)
            image += 1 + uchar(b[image]);
        ++image;
    }
    if (image + 9 >= b.size() || b[image] != 0x2C)
        return false;
    qToLittleEndian<quint16>(0xFFFF, At(b, image + 5));
    qToLittleEndian<quint16>(0xFFFF, At(b, image + 7));
    return true;
}

inline bool PatchTiff(QByteArray &b)
{
    if (b.size() < 8)
        return false;
    const bool little = b.startsWith("II");
    auto u16 = [&](qsizetype o) { return little ? qFromLittleEndian<quint16>(At(b, o)) : qFromBigEndian<quint16>(At(b, o)); };
    auto u32 = [&](qsizetype o) { return little ? qFromLittleEndian<quint32>(At(b, o)) : qFromBigEndian<quint32>(At(b, o)); };
    auto put16 = [&](qsizetype o, quint16 v) { little ? qToLittleEndian(v, At(b, o)) : qToBigEndian(v, At(b, o)); };
    auto put32 = [&](qsizetype o, quint32 v) { little ? qToLittleEndian(v, At(b, o)) : qToBigEndian(v, At(b, o)); };
    const qsizetype ifd = u32(4);
    if (ifd + 2 > b.size())
        return false;
    const int entries = u16(ifd);
    int patched = 0;
    for (int i = 0; i < entries && ifd + 14 + 12 * i <= b.size(); ++i) {
        const qsizetype e = ifd + 2 + 12 * i;
        const quint16 tag = u16(e);
        if (tag == 256 || tag == 257) {   // ImageWidth, ImageLength as LONG
            put16(e + 2, 4);
            put32(e + 4, 1);
            put32(e + 8, kHuge);
            ++patched;
        }
    }
    return patched == 2;
}

inline bool PatchIco(QByteArray &b)
{
    if (b.size() < 22)
        return false;
    const quint32 offset = qFromLittleEndian<quint32>(At(b, 6 + 12));
    if (offset + 12 > quint32(b.size()))
        return false;
    if (qFromLittleEndian<quint32>(At(b, offset)) == 40) {
        qToLittleEndian<qint32>(qint32(kHuge), At(b, offset + 4));
        qToLittleEndian<qint32>(qint32(2 * kHuge), At(b, offset + 8));
        return true;
    }
    return PatchPngLike(b);   // an icon holding a PNG
}

inline bool PatchWbmp(QByteArray &b)
{
    // Type 0, fixed header 0, then width and height as multi-byte integers.
    if (b.size() < 4)
        return false;
    qsizetype p = 2;
    auto skip = [&] { while (p < b.size() && (uchar(b[p]) & 0x80)) ++p; ++p; };
    const qsizetype w = p;
    skip();
    skip();
    b.replace(w, p - w, QByteArray("\x83\xff\x7f\x83\xff\x7f", 6));
    return true;
}

inline bool PatchExr(QByteArray &b)
{
    int patched = 0;
    for (const char *name : {"dataWindow", "displayWindow"}) {
        const QByteArray marker = QByteArray(name) + QByteArray("\0box2i\0", 7);
        const qsizetype at = b.indexOf(marker);
        if (at < 0 || at + marker.size() + 20 > b.size())
            continue;
        const qsizetype box = at + marker.size() + 4;
        qToLittleEndian<qint32>(qint32(kHuge - 1), At(b, box + 8));
        qToLittleEndian<qint32>(qint32(kHuge - 1), At(b, box + 12));
        ++patched;
    }
    return patched > 0;
}

inline bool PatchJpeg2000(QByteArray &b)
{
    bool any = false;
    const qsizetype siz = b.indexOf(QByteArray("\xff\x51", 2));
    if (siz >= 0 && siz + 16 <= b.size()) {
        SizeAt(siz + 6, siz + 10, 4, true)(b);
        any = true;
    }
    const qsizetype ihdr = b.indexOf("ihdr");
    if (ihdr >= 0 && ihdr + 12 <= b.size()) {
        SizeAt(ihdr + 8, ihdr + 4, 4, true)(b);
        any = true;
    }
    return any;
}

inline bool PatchWebp(QByteArray &b)
{
    const qsizetype vp8 = b.indexOf("VP8 ");
    if (vp8 >= 0 && vp8 + 18 <= b.size()) {   // after the 3-byte frame tag and start code
        qToLittleEndian<quint16>(0x3FFF, At(b, vp8 + 14));
        qToLittleEndian<quint16>(0x3FFF, At(b, vp8 + 16));
        return true;
    }
    const qsizetype vp8l = b.indexOf("VP8L");
    if (vp8l >= 0 && vp8l + 13 <= b.size()) {   // 14-bit width-1 and height-1 after the signature byte
        qToLittleEndian<quint32>(0x3FFF | (0x3FFFu << 14) | (qFromLittleEndian<quint32>(At(b, vp8l + 9)) & 0xF0000000u),
                                 At(b, vp8l + 9));
        return true;
    }
    return false;
}

// The library's own file of the kind, from a small colour picture made as
// deep, grey or floating as the kind takes. Written in a child process: some
// of the library's writers (JPEG-XR's) overrun memory themselves.
inline QByteArray Written(const char *extension, const QString &folder)
{
    const FreeImageFunctions &fi = FI();
    const QString path = folder + QStringLiteral("/sample.") + extension;
    const QByteArray name = QFile::encodeName(path);
    const FREE_IMAGE_FORMAT fif = fi.GetFIFFromFilename(name.constData());
    if (fif == FIF_UNKNOWN || !fi.FIFSupportsWriting(fif))
        return QByteArray();
    const pid_t child = ::fork();
    if (child == 0) {
        FIBITMAP *colour = fi.Allocate(kWidth, kHeight, 24, 0, 0, 0);
        for (int y = 0; y < kHeight; ++y) {
            BYTE *row = fi.GetScanLine(colour, y);
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = Pixel(x, y, c);
        }
        FIBITMAP *dib = nullptr;
        if (fi.FIFSupportsExportType(fif, FIT_BITMAP) && fi.FIFSupportsExportBPP(fif, 24))
            dib = fi.Clone(colour);
        else if (fi.FIFSupportsExportType(fif, FIT_BITMAP) && fi.FIFSupportsExportBPP(fif, 8))
            dib = fi.ColorQuantize(colour, FIQ_WUQUANT);
        else if (fi.FIFSupportsExportType(fif, FIT_BITMAP) && fi.FIFSupportsExportBPP(fif, 1))
            dib = fi.Threshold(colour, 128);
        else if (fi.FIFSupportsExportType(fif, FIT_RGBF))
            dib = fi.ConvertToRGBF(colour);
        else if (fi.FIFSupportsExportType(fif, FIT_FLOAT))
            dib = fi.ConvertToFloat(colour);
        ::_exit(dib && fi.Save(fif, dib, name.constData(), 0) ? 0 : 1);
    }
    int status = 1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QFile::remove(path);
        return QByteArray();
    }
    QByteArray bytes;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    f.remove();
    return bytes;
}

inline QByteArray Xbm()
{
    QByteArray b = "#define s_width 24\n#define s_height 16\nstatic char s_bits[] = {\n";
    for (int i = 0; i < 3 * kHeight; ++i)
        b += QByteArray("0x") + QByteArray::number((i * 37) & 0xFF, 16) + (i + 1 < 3 * kHeight ? ", " : "};\n");
    return b;
}

inline QByteArray Pcx()
{
    QByteArray b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = 1, b[3] = 8;
    qToLittleEndian<quint16>(kWidth - 1, At(b, 8));
    qToLittleEndian<quint16>(kHeight - 1, At(b, 10));
    qToLittleEndian<quint16>(72, At(b, 12));
    qToLittleEndian<quint16>(72, At(b, 14));
    b[65] = 3;
    qToLittleEndian<quint16>(kWidth, At(b, 66));
    b[68] = 1;
    for (int y = 0; y < kHeight; ++y)
        for (int c = 2; c >= 0; --c)
            for (int x = 0; x < kWidth; ++x)
                b.append(char(0xC1)).append(char(Pixel(x, y, c)));   // runs of one
    return b;
}

inline QByteArray Ras()
{
    QByteArray b = Be32(0x59a66a95) + Be32(kWidth) + Be32(kHeight) + Be32(24) + Be32(kWidth * kHeight * 3)
        + Be32(1) + Be32(0) + Be32(0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                b.append(char(Pixel(x, y, c)));
    return b;
}

inline QByteArray Sgi()
{
    QByteArray b = Be16(474) + QByteArray(1, 0) + QByteArray(1, 1) + Be16(3) + Be16(kWidth) + Be16(kHeight) + Be16(3)
        + Be32(0) + Be32(255);
    b.append(QByteArray(512 - b.size(), 0));
    for (int c = 2; c >= 0; --c)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                b.append(char(Pixel(x, y, c)));
    return b;
}

inline QByteArray Iff()
{
    // 24 bit planes, uncompressed: per row and plane one bit a pixel, rows in words.
    const QByteArray bmhd = Be16(kWidth) + Be16(kHeight) + Be16(0) + Be16(0) + QByteArray(1, 24) + QByteArray(3, 0)
        + Be16(0) + QByteArray(1, 1) + QByteArray(1, 1) + Be16(kWidth) + Be16(kHeight);
    QByteArray body;
    const int rowBytes = (kWidth + 15) / 16 * 2;
    for (int y = 0; y < kHeight; ++y)
        for (int plane = 0; plane < 24; ++plane) {
            QByteArray row(rowBytes, 0);
            for (int x = 0; x < kWidth; ++x)
                if (Pixel(x, y, 2 - plane / 8) >> (plane % 8) & 1)
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            body += row;
        }
    const QByteArray form = QByteArray("ILBM") + "BMHD" + Be32(quint32(bmhd.size())) + bmhd + "BODY"
        + Be32(quint32(body.size())) + body;
    return QByteArray("FORM") + Be32(quint32(form.size())) + form;
}

inline QByteArray Dds()
{
    QByteArray h(124, 0);
    qToLittleEndian<quint32>(124, At(h, 0));
    qToLittleEndian<quint32>(0x1 | 0x2 | 0x4 | 0x8 | 0x1000, At(h, 4));
    qToLittleEndian<quint32>(kHeight, At(h, 8));
    qToLittleEndian<quint32>(kWidth, At(h, 12));
    qToLittleEndian<quint32>(kWidth * 4, At(h, 16));
    qToLittleEndian<quint32>(32, At(h, 72));           // pixel format size
    qToLittleEndian<quint32>(0x40 | 0x1, At(h, 76));   // RGB with alpha
    qToLittleEndian<quint32>(32, At(h, 84));
    qToLittleEndian<quint32>(0x00FF0000, At(h, 88));
    qToLittleEndian<quint32>(0x0000FF00, At(h, 92));
    qToLittleEndian<quint32>(0x000000FF, At(h, 96));
    qToLittleEndian<quint32>(0xFF000000, At(h, 100));
    qToLittleEndian<quint32>(0x1000, At(h, 104));
    QByteArray b = QByteArray("DDS ") + h;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            b.append(char(Pixel(x, y, 0))).append(char(Pixel(x, y, 1))).append(char(Pixel(x, y, 2))).append(char(0xFF));
    return b;
}

// A PNG's chunks inside an MNG stream.
inline QByteArray Mng(const QByteArray &png)
{
    if (png.size() < 8)
        return QByteArray();
    const QByteArray mhdr = Be32(kWidth) + Be32(kHeight) + Be32(1) + Be32(0) + Be32(1) + Be32(0) + Be32(1);
    return QByteArray("\x8aMNG\r\n\x1a\n", 8) + PngChunk("MHDR", mhdr) + png.mid(8, png.size() - 8 - 12)
        + png.right(12) + PngChunk("MEND", QByteArray());
}

// A version 2 PICT with one DirectBitsRect of unpacked 32-bit pixels, as far
// as made here: the library overruns its memory on it.
inline QByteArray Pict()
{
    auto rect = [](int w, int h) { return Be16(0) + Be16(0) + Be16(quint16(h)) + Be16(quint16(w)); };
    QByteArray b(512, 0);
    b += Be16(0) + rect(kWidth, kHeight);
    b += Be16(0x0011) + Be16(0x02FF) + Be16(0x0C00) + Be16(0xFFFE) + Be16(0) + Be32(0x00480000) + Be32(0x00480000)
        + rect(kWidth, kHeight) + Be32(0);
    b += Be16(0x001E);   // default highlight
    b += Be16(0x009A) + Be32(0x000000FF) + Be16(0x8000 | (kWidth * 4)) + rect(kWidth, kHeight) + Be16(0)
        + Be16(1) /* unpacked */ + Be32(0) + Be32(0x00480000) + Be32(0x00480000) + Be16(16) + Be16(32) + Be16(3)
        + Be16(8) + Be32(0) + Be32(0) + Be32(0) + rect(kWidth, kHeight) + rect(kWidth, kHeight) + Be16(0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            b.append(char(0)).append(char(Pixel(x, y, 2))).append(char(Pixel(x, y, 1))).append(char(Pixel(x, y, 0)));
    b += Be16(0x00FF);
    return b;
}
}

// Every kind, in a fixed order; kinds the library cannot write here are left out.
inline std::vector<FormatSample> FormatSamples(const QString &workFolder)
{
    using namespace format_samples;
    std::vector<FormatSample> out;
    auto written = [&](const char *ext, std::function<bool(QByteArray &)> claim) {
        const QByteArray bytes = Written(ext, workFolder);
        if (!bytes.isEmpty())
            out.push_back({ext, bytes, std::move(claim)});
    };
    written("bmp", SizeAt(18, 22, 4, false));
    written("jpg", PatchJpeg);
    written("tif", PatchTiff);
    written("gif", PatchGif);
    written("png", PatchPngLike);
    written("ico", PatchIco);
    written("ppm", TextSize("24 16", "65535 65535"));
    written("pgm", TextSize("24 16", "65535 65535"));
    written("pbm", TextSize("24 16", "65535 65535"));
    written("tga", SizeAt(12, 14, 2, false));
    written("wbmp", PatchWbmp);
    written("psd", SizeAt(18, 14, 4, true));
    written("j2k", PatchJpeg2000);
    written("jp2", PatchJpeg2000);
    written("exr", PatchExr);
    written("hdr", TextSize("-Y 16 +X 24", "-Y 65535 +X 65535"));
    written("pfm", TextSize("24 16", "65535 65535"));
    written("webp", PatchWebp);
    written("jxr", [](QByteArray &) { return false; });
    written("xpm", TextSize("\"24 16", "\"65535 65535 256 2\","));
    out.push_back({"xbm", Xbm(), [](QByteArray &b) {
                       return TextSize("#define s_width", "#define s_width 65535")(b)
                           && TextSize("#define s_height", "#define s_height 65535")(b);
                   }});
    out.push_back({"pcx", Pcx(), SizeAt(8, 10, 2, false, kHuge - 1)});
    out.push_back({"ras", Ras(), SizeAt(4, 8, 4, true)});
    out.push_back({"sgi", Sgi(), SizeAt(6, 8, 2, true)});
    out.push_back({"iff", Iff(), SizeAfter("BMHD", 4, 6, 2, true)});
    out.push_back({"dds", Dds(), SizeAt(16, 12, 4, false)});
    for (const FormatSample &s : out)
        if (QByteArray(s.extension) == "png") {
            out.push_back({"mng", Mng(s.bytes), [](QByteArray &b) {
                               return SizeAfter("MHDR", 0, 4, 4, true)(b) && PatchPngLike(b);
                           }});
            break;
        }
    return out;
}
