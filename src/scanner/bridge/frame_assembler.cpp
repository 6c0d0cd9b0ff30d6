// SANE conventions: samples are packed MSB first, 16-bit samples come in
// machine byte order, and at depth 1 a set bit is black.
#include "scanner/bridge/frame_assembler.h"

#include <algorithm>
#include <cstring>

namespace {

int channelsOf(SANE_Frame f) { return f == SANE_FRAME_RGB ? 3 : 1; }

uint64_t neededLineBytes(const SANE_Parameters &p)
{
    return (uint64_t(p.pixels_per_line) * channelsOf(p.format) * uint64_t(p.depth) + 7) / 8;
}

// Intensity of sample `i` of a line, reduced to 8 bits.
inline uint8_t sample8(const uint8_t *line, uint64_t i, int depth)
{
    switch (depth) {
    case 8:
        return line[i];
    case 16: {
        uint16_t v;
        std::memcpy(&v, line + 2 * i, 2);
        return uint8_t(v >> 8);
    }
    default:
        return (line[i >> 3] & (0x80 >> (i & 7))) ? 0 : 255;
    }
}

QString tooLarge() { return QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB)."); }
QString noLines() { return QStringLiteral("De scanner leverde geen beeldregels."); }
QString noMemory() { return QStringLiteral("Te weinig geheugen om de scan samen te stellen."); }

// Lines actually available in a frame: the announced count, or for an unknown
// count every whole line that arrived.
int64_t linesIn(const ScanFrame &f, QString &error)
{
    const uint64_t bpl = uint64_t(f.params.bytes_per_line);
    if (f.params.lines < 0) {
        int64_t lines = int64_t(f.data.size() / bpl);
        if (lines == 0)
            error = noLines();
        return lines;
    }
    if (uint64_t(f.data.size()) < bpl * uint64_t(f.params.lines)) {
        error = QStringLiteral("De scan is voortijdig afgebroken: de scanner leverde %1 van de %2 beeldregels.")
                    .arg(qulonglong(f.data.size() / bpl))
                    .arg(f.params.lines);
        return 0;
    }
    return f.params.lines;
}

// A null picture when the memory cannot be had: QImage reports that, it does not throw.
QImage makeImage(int64_t w, int64_t h, QImage::Format fmt)
{
    return QImage(int(w), int(h), fmt);
}

QImage::Format singlePassFormat(const SANE_Parameters &p)
{
    if (p.format == SANE_FRAME_RGB)
        return QImage::Format_BGR888;
    return p.depth == 1 ? QImage::Format_Mono : QImage::Format_Grayscale8;
}

// The picture a grey or RGB frame becomes, not yet filled.
QImage makeSinglePass(const SANE_Parameters &p, int64_t width, int64_t lines)
{
    QImage img = makeImage(width, lines, singlePassFormat(p));
    if (!img.isNull() && img.format() == QImage::Format_Mono)
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    return img;
}

// Eight-bit RGB samples to BGR, four pixels (three words) at a time.
void swapRedBlue(const uint8_t *src, uint8_t *dst, int64_t width)
{
    int64_t x = 0;
    for (; x + 4 <= width; x += 4, src += 12, dst += 12) {
        uint32_t a, b, c;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + 4, 4);
        std::memcpy(&c, src + 8, 4);
        // Bytes in: r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3 (little-endian words).
        const uint32_t o0 = ((a >> 16) & 0xFF) | (a & 0xFF00) | ((a & 0xFF) << 16) | (((b >> 8) & 0xFF) << 24);
        const uint32_t o1 = (b & 0xFF) | ((a >> 24) << 8) | ((c & 0xFF) << 16) | (b & 0xFF000000u);
        const uint32_t o2 = ((b >> 16) & 0xFF) | ((c >> 24) << 8) | (c & 0xFF0000) | (((c >> 8) & 0xFF) << 24);
        std::memcpy(dst, &o0, 4);
        std::memcpy(dst + 4, &o1, 4);
        std::memcpy(dst + 8, &o2, 4);
    }
    for (; x < width; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

// Converts `count` lines of a grey or RGB frame, starting at `data`, into img from row `first`.
void convertRows(const SANE_Parameters &p, const uint8_t *data, int64_t count, QImage &img, int64_t first)
{
    const int64_t from = first, to = first + count;
    const uint64_t bpl = uint64_t(p.bytes_per_line);
    auto line = [&](int64_t y) { return data + uint64_t(y - first) * bpl; };
    const int64_t width = p.pixels_per_line;
    const int depth = p.depth;
    if (p.format == SANE_FRAME_GRAY && depth == 1) {
        const uint64_t n = neededLineBytes(p);
        const int lastBits = int(width & 7);
        for (int64_t y = from; y < to; ++y) {
            uchar *dst = img.scanLine(int(y));
            std::memcpy(dst, line(y), n);
            if (lastBits)  // keep the unused tail bits white
                dst[n - 1] &= uchar(0xFF << (8 - lastBits));
        }
        return;
    }
    if (p.format == SANE_FRAME_GRAY) {
        for (int64_t y = from; y < to; ++y) {
            const uint8_t *src = line(y);
            uchar *dst = img.scanLine(int(y));
            if (depth == 8)
                std::memcpy(dst, src, size_t(width));
            else
                for (int64_t x = 0; x < width; ++x)
                    dst[x] = sample8(src, uint64_t(x), depth);
        }
        return;
    }
    for (int64_t y = from; y < to; ++y) {
        const uint8_t *src = line(y);
        uchar *dst = img.scanLine(int(y));
        if (depth == 8) {
            swapRedBlue(src, dst, width);
        } else {
            for (int64_t x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    dst[3 * x + (2 - c)] = sample8(src, uint64_t(3 * x + c), depth);
        }
    }
}

} // namespace

PartialPicture BeginRows(const SANE_Parameters &p)
{
    PartialPicture part;
    if (!ValidateParameters(p).isEmpty() || (p.format != SANE_FRAME_GRAY && p.format != SANE_FRAME_RGB))
        return part;
    if (p.lines > 0) {
        part.image = makeSinglePass(p, p.pixels_per_line, p.lines);
    } else {
        // Bands of about 4 MB: large steps, little left unused in the last one.
        part.growing = true;
        const int64_t rowBytes = int64_t(BmpFileBytes(uint64_t(p.pixels_per_line), 1, 24));
        part.bandRows = std::max<int64_t>(1, (int64_t(4) << 20) / rowBytes);
    }
    return part;
}

bool AddRows(ScanFrame &f, PartialPicture &part)
{
    const uint64_t bpl = uint64_t(f.params.bytes_per_line);
    if (part.growing) {
        const int64_t whole = int64_t(f.data.size() / bpl);
        for (int64_t done = 0; done < whole;) {
            const int64_t inBand = part.rows % part.bandRows;
            if (inBand == 0) {
                QImage band = makeSinglePass(f.params, f.params.pixels_per_line, part.bandRows);
                if (band.isNull())
                    return false;
                part.bands.push_back(std::move(band));
            }
            const int64_t n = std::min(whole - done, part.bandRows - inBand);
            convertRows(f.params, f.data.data() + uint64_t(done) * bpl, n, part.bands.back(), inBand);
            done += n;
            part.rows += n;
        }
        f.data.erase(f.data.begin(), f.data.begin() + ptrdiff_t(uint64_t(whole) * bpl));
        return true;
    }
    if (part.image.isNull())
        return true;
    const int64_t whole = std::min<int64_t>(part.image.height(), int64_t(f.data.size() / bpl));
    if (whole > part.rows) {
        convertRows(f.params, f.data.data() + uint64_t(part.rows) * bpl, whole - part.rows, part.image, part.rows);
        part.rows = whole;
    }
    return true;
}

// The bands of a grown picture as one picture; each band goes once copied.
QImage joinBands(const SANE_Parameters &p, PartialPicture &part)
{
    QImage img = makeSinglePass(p, p.pixels_per_line, part.rows);
    if (img.isNull())
        return img;
    const size_t rowBytes = size_t(std::min(img.bytesPerLine(), part.bands.front().bytesPerLine()));
    int64_t y = 0;
    for (QImage &band : part.bands) {
        for (int r = 0; r < band.height() && y < part.rows; ++r, ++y)
            std::memcpy(img.scanLine(int(y)), band.constScanLine(r), rowBytes);
        band = QImage();
    }
    return img;
}

QString ValidateParameters(const SANE_Parameters &p)
{
    // A device may send any number here; read it as one before trusting the enum.
    int format;
    std::memcpy(&format, &p.format, sizeof format);
    switch (format) {
    case SANE_FRAME_GRAY:
    case SANE_FRAME_RGB:
    case SANE_FRAME_RED:
    case SANE_FRAME_GREEN:
    case SANE_FRAME_BLUE:
        break;
    default:
        return QStringLiteral("De scanner levert een beeldsoort die niet wordt ondersteund.");
    }
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return QStringLiteral("De scanner levert een bitdiepte (%1) die niet wordt ondersteund.").arg(p.depth);
    if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0 || p.lines == 0 || p.lines < -1)
        return QStringLiteral("De scanner meldt een ongeldige beeldgrootte (%1 × %2 beeldpunten).")
            .arg(p.pixels_per_line)
            .arg(p.lines);
    if (uint64_t(p.bytes_per_line) < neededLineBytes(p))
        return QStringLiteral("De scanner meldt te weinig bytes per beeldregel voor het aantal beeldpunten.");
    // Qt's images and BMP rows are indexed with int: keep every row within that.
    if (uint64_t(p.pixels_per_line) * 3 > uint64_t(INT32_MAX) / 2)
        return tooLarge();
    const bool colour = p.format != SANE_FRAME_GRAY;
    const int bmpBits = colour ? 24 : (p.depth == 1 ? 1 : 8);
    if (p.lines > 0 && BmpFileBytes(uint64_t(p.pixels_per_line), uint64_t(p.lines), bmpBits) > kMaxBmpFileBytes)
        return tooLarge();
    return {};
}

namespace {

// One frame holding every colour (grey or RGB): taken over from the bands or
// the picture grown while it was read, else converted whole.
AssembledPicture assembleSinglePass(const ScanFrame &f, PartialPicture *part)
{
    AssembledPicture out;
    const SANE_Parameters &p0 = f.params;
    const int64_t width = p0.pixels_per_line;
    const bool grown = part && part->growing;
    const int64_t lines = grown ? part->rows : linesIn(f, out.error);
    if (lines == 0 && out.error.isEmpty())
        out.error = noLines();
    if (!out.error.isEmpty())
        return out;
    const int bmpBits = p0.format == SANE_FRAME_RGB ? 24 : (p0.depth == 1 ? 1 : 8);
    if (BmpFileBytes(uint64_t(width), uint64_t(lines), bmpBits) > kMaxBmpFileBytes) {
        out.error = tooLarge();
        return out;
    }
    QImage img;
    int64_t from = 0;
    if (grown) {
        img = joinBands(p0, *part);
        from = lines;
    } else if (part && !part->image.isNull() && part->image.size() == QSize(int(width), int(lines))
        && part->image.format() == singlePassFormat(p0) && part->rows <= lines) {
        img = std::move(part->image);
        from = part->rows;
    } else {
        img = makeSinglePass(p0, width, lines);
    }
    if (part)
        *part = PartialPicture();
    if (img.isNull()) {
        out.error = noMemory();
        return out;
    }
    if (lines > from)
        convertRows(p0, f.data.data() + uint64_t(from) * uint64_t(p0.bytes_per_line), lines - from, img, from);
    out.image = img;
    return out;
}

// Sorts the red, green and blue frames by colour (each once, of one width and
// depth) and finds the lines all of them hold; the reason when they do not match.
QString matchColourFrames(const std::vector<ScanFrame> &frames, const ScanFrame *(&byColour)[3], int64_t &lines)
{
    const QString mismatch = QStringLiteral("De kleurbeelden van de scanner passen niet bij elkaar.");
    const SANE_Parameters &p0 = frames[0].params;
    lines = -1;
    for (const ScanFrame &f : frames) {
        int c = f.params.format == SANE_FRAME_RED ? 0 : f.params.format == SANE_FRAME_GREEN ? 1
              : f.params.format == SANE_FRAME_BLUE ? 2 : -1;
        if (c < 0 || byColour[c] || f.params.pixels_per_line != p0.pixels_per_line || f.params.depth != p0.depth)
            return mismatch;
        byColour[c] = &f;
        QString error;
        const int64_t l = linesIn(f, error);
        if (!error.isEmpty())
            return error;
        lines = lines < 0 ? l : std::min(lines, l);
    }
    for (const ScanFrame *f : byColour)
        if (f->params.lines >= 0 && f->params.lines != lines)
            return mismatch;
    return {};
}

// Separate red, green and blue frames, in any order, each once.
AssembledPicture assembleThreePass(const std::vector<ScanFrame> &frames)
{
    AssembledPicture out;
    if (frames.size() != 3) {
        out.error = QStringLiteral("De scanner leverde %1 van de 3 kleurbeelden.").arg(frames.size());
        return out;
    }
    const ScanFrame *byColour[3] = {nullptr, nullptr, nullptr};
    int64_t lines = 0;
    out.error = matchColourFrames(frames, byColour, lines);
    if (!out.error.isEmpty())
        return out;
    const int64_t width = frames[0].params.pixels_per_line;
    if (BmpFileBytes(uint64_t(width), uint64_t(lines), 24) > kMaxBmpFileBytes) {
        out.error = tooLarge();
        return out;
    }
    QImage img = makeImage(width, lines, QImage::Format_BGR888);
    if (img.isNull()) {
        out.error = noMemory();
        return out;
    }
    for (int c = 0; c < 3; ++c) {
        const ScanFrame &f = *byColour[c];
        const uint64_t bpl = uint64_t(f.params.bytes_per_line);
        for (int64_t y = 0; y < lines; ++y) {
            const uint8_t *src = f.data.data() + uint64_t(y) * bpl;
            uchar *dst = img.scanLine(int(y)) + (2 - c);
            for (int64_t x = 0; x < width; ++x)
                dst[3 * x] = sample8(src, uint64_t(x), f.params.depth);
        }
    }
    out.image = img;
    return out;
}

} // namespace

AssembledPicture AssembleFrames(const std::vector<ScanFrame> &frames, PartialPicture *part)
{
    AssembledPicture out;
    if (frames.empty()) {
        out.error = QStringLiteral("De scanner leverde geen beeld.");
        return out;
    }
    for (const ScanFrame &f : frames) {
        out.error = ValidateParameters(f.params);
        if (!out.error.isEmpty())
            return out;
    }
    const SANE_Frame format = frames[0].params.format;
    if (format != SANE_FRAME_GRAY && format != SANE_FRAME_RGB)
        return assembleThreePass(frames);
    if (frames.size() != 1) {
        out.error = QStringLiteral("De scanner leverde meer beelden dan verwacht.");
        return out;
    }
    return assembleSinglePass(frames[0], part);
}
