#include "detection/detection_options.h"

#include <QStringList>

namespace {
bool ToInt(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}
} // namespace

bool ReadDetectionOption(const QString &name, const QString &value, DetectionSettings &settings,
                         PixelSelection &selection, bool &haveSelection, QString &error)
{
    int n = 0;
    if (name == QLatin1String("--background")) {
        bool ok = false;
        const uint rgb = value.toUInt(&ok, 16);
        if (!ok || value.size() != 6)
            error = QStringLiteral("--background verwacht RRGGBB (hexadecimaal)");
        else
            settings.background = PlatformColour(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
        return true;
    }
    if (name == QLatin1String("--selection")) {
        const QStringList parts = value.split(QLatin1Char(','));
        int s[4];
        if (parts.size() != 4 || !ToInt(parts[0], s[0]) || !ToInt(parts[1], s[1]) || !ToInt(parts[2], s[2])
            || !ToInt(parts[3], s[3])) {
            error = QStringLiteral("--selection verwacht L,T,R,B");
        } else {
            selection = {s[0], s[1], s[2], s[3]};
            haveSelection = true;
        }
        return true;
    }
    int *target = name == QLatin1String("--tolerance") ? &settings.tolerance
                : name == QLatin1String("--min-size")  ? &settings.minSize
                : name == QLatin1String("--margin")    ? &settings.marginPercent
                : name == QLatin1String("--columns")   ? &settings.columns
                                                       : nullptr;
    if (!target)
        return false;
    if (!ToInt(value, n))
        error = name + QStringLiteral(" verwacht een getal");
    else
        *target = n;
    return true;
}
