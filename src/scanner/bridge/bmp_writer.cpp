#include "scanner/bridge/bmp_writer.h"

#include "scanner/bridge/frame_assembler.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

QString WriteBmp(const QImage &source, double dpi, const QString &path)
{
    if (source.isNull())
        return QStringLiteral("Er is geen beeld om op te slaan.");
    QImage image = source;
    int bits;
    switch (image.format()) {
    case QImage::Format_Mono:
        bits = 1;
        break;
    case QImage::Format_Grayscale8:
        bits = 8;
        break;
    case QImage::Format_BGR888:
        bits = 24;
        break;
    default:
        image = image.convertToFormat(QImage::Format_BGR888);
        bits = 24;
        if (image.isNull())
            return QStringLiteral("Te weinig geheugen om de scan op te slaan.");
    }
    const uint64_t w = uint64_t(image.width()), h = uint64_t(image.height());
    const uint64_t fileBytes = BmpFileBytes(w, h, bits);
    if (fileBytes > kMaxBmpFileBytes)
        return QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB).");
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const uint32_t headerBytes = 14 + 40 + colours * 4;
    const size_t rowBytes = size_t(((w * bits + 31) / 32) * 4);
    const int32_t ppm = dpi > 0 ? int32_t(std::lround(dpi / 0.0254)) : 0;

    std::vector<uint8_t> header(headerBytes, 0);
    uint8_t *p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, uint32_t(fileBytes));
    put32(p + 10, headerBytes);
    put32(p + 14, 40);
    put32(p + 18, uint32_t(w));
    put32(p + 22, uint32_t(h));  // positive: rows bottom-up
    put16(p + 26, 1);
    put16(p + 28, uint16_t(bits));
    put32(p + 34, uint32_t(rowBytes * h));
    put32(p + 38, uint32_t(ppm));
    put32(p + 42, uint32_t(ppm));
    put32(p + 46, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        QRgb c = bits == 1 ? image.color(int(i)) : qRgb(int(i), int(i), int(i));
        uint8_t *e = p + 54 + 4 * i;
        e[0] = uint8_t(qBlue(c));
        e[1] = uint8_t(qGreen(c));
        e[2] = uint8_t(qRed(c));
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    bool ok = file.write(reinterpret_cast<const char *>(header.data()), qint64(header.size())) == qint64(header.size());
    // Rows go out in blocks so large scans are not written one small call at a time.
    const size_t blockRows = std::max<size_t>(1, (1u << 20) / std::max<size_t>(rowBytes, 1));
    std::vector<uint8_t> block;
    try {
        block.assign(blockRows * rowBytes, 0);
    } catch (const std::bad_alloc &) {
        file.cancelWriting();
        return QStringLiteral("Te weinig geheugen om de scan op te slaan.");
    }
    const size_t used = size_t((w * bits + 7) / 8);
    for (int64_t y = int64_t(h) - 1; ok && y >= 0;) {
        size_t n = 0;
        for (; n < blockRows && y >= 0; ++n, --y)
            std::memcpy(block.data() + n * rowBytes, image.constScanLine(int(y)), used);
        ok = file.write(reinterpret_cast<const char *>(block.data()), qint64(n * rowBytes)) == qint64(n * rowBytes);
    }
    if (!ok) {
        const QString why = file.errorString();
        file.cancelWriting();
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, why);
    }
    if (!file.commit())
        return QStringLiteral("Kan het bestand %1 niet schrijven: %2").arg(path, file.errorString());
    return {};
}
