#include "fakes/fake_scanner.h"

#include <QFile>
#include <stdexcept>

FakeScanner::FakeScanner() { setScannerLibrary(this); }
FakeScanner::~FakeScanner() { setScannerLibrary(nullptr); }

int FakeScanner::EasyVersion()
{
    calls << "EasyVersion";
    return version;
}

int FakeScanner::IsAvailable()
{
    calls << "IsAvailable";
    return available;
}

int FakeScanner::SelectImageSource(void *)
{
    calls << "SelectImageSource";
    return 1;
}

void FakeScanner::SetHideUI(int hide) { calls << QStringLiteral("SetHideUI %1").arg(hide); }

int FakeScanner::OpenDefaultSource()
{
    calls << "OpenDefaultSource";
    if (throwOnOpen)
        throw std::runtime_error("device busy");
    return openResult ? 1 : 0;
}

int FakeScanner::SetCurrentResolution(double dpi)
{
    calls << QStringLiteral("SetCurrentResolution %1").arg(dpi);
    resolutions << dpi;
    return 1;
}

int FakeScanner::AcquireToFilename(void *, const QString &path)
{
    calls << "AcquireToFilename";
    if (throwOnAcquire)
        throw std::runtime_error("scanner jammed");
    if (acquireFailure)
        std::rethrow_exception(acquireFailure);
    if (!rawFile.isNull()) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(rawFile);
        return 1;
    }
    if (image.isNull())
        return 0;
    QImage labelled = image;
    const double dpi = deliveredDpi > 0 ? deliveredDpi : resolutions.isEmpty() ? 0 : resolutions.last();
    if (dpi > 0) {
        labelled.setDotsPerMeterX(qRound(dpi / 0.0254));
        labelled.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return labelled.save(path, "BMP") ? 1 : 0;
}

void FakeScanner::RegisterApp(int major, int minor, int language, int country, const QString &version,
                              const QString &manufacturer, const QString &family, const QString &product)
{
    calls << QStringLiteral("RegisterApp %1 %2 %3 %4 %5 %6 %7 %8")
                 .arg(major).arg(minor).arg(language).arg(country)
                 .arg(version, manufacturer, family, product);
}
