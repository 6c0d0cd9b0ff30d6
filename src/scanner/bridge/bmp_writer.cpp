#include "scanner/bridge/bmp_writer.h"

#include "common/bmp_file.h"
#include "common/filez.h"

#include <cmath>
#include <cstdio>

QString WriteBmp(const QImage &source, double dpi, const QString &path)
{
    if (source.isNull())
        return QStringLiteral("Er is geen beeld om op te slaan.");
    QImage image = source;
    if (BmpBits(image) == 0) {
        image = image.convertToFormat(QImage::Format_BGR888);
        if (image.isNull())
            return QStringLiteral("Te weinig geheugen om de scan op te slaan.");
    }
    if (BmpFileBytes(uint64_t(image.width()), uint64_t(image.height()), BmpBits(image)) > kMaxBmpFileBytes)
        return QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB).");
    const uint32_t ppm = dpi > 0 ? uint32_t(std::lround(dpi / 0.0254)) : 0;
    // The transfer file is read back at once: whole under its name is enough,
    // it is not forced to the disk.
    ReplacingSave file(path);
    if (!file.write([&](FILE *f) { return std::fflush(f) == 0 && WriteBmpTo(fileno(f), image, ppm, ppm); })
        || !file.commit())
        return QStringLiteral("Kan het bestand %1 niet schrijven (%2)").arg(path, file.reason());
    return {};
}
