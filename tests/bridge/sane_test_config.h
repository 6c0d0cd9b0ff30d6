#pragma once
// SANE's `test` backend configured from a folder the tests own: one small
// colour-pattern device at low resolution, which keeps the scans quick.
#include "fakes/file_bytes.h"
#include "scanner/bridge/sane_wrapper.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

// Writes dll.conf listing `backends` and the test backend's own configuration into `folder`.
inline void WriteTestBackendConfig(const QString &folder, const QByteArray &backends)
{
    QDir().mkpath(folder);
    writeAll(folder + "/dll.conf", backends);
    writeAll(folder + "/test.conf",
             "number_of_devices 1\nresolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\n"
             "resolution 25.0\ntest-picture \"Color pattern\"\ngeometry_min 0.0\ngeometry_max 200.0\n"
             "geometry_quant 1.0\ntl_x 0.0\ntl_y 0.0\nbr_x 41.0\nbr_y 31.0\n");
}

// The folder this process's SANE reads its configuration from. SANE takes
// SANE_CONFIG_DIR once, when first used, and keeps that folder for as long as
// its libraries stay loaded (its dll layer: the whole process): a suite that
// gave it a fresh folder on each run would, from the second run on, leave
// SANE reading a folder that is gone. So one folder, and suites rewrite it.
inline QString SaneConfigFolder()
{
    static QTemporaryDir dir;
    static const bool set = qputenv("SANE_CONFIG_DIR", dir.path().toLocal8Bit());
    (void)set;
    return dir.path();
}

// Sets an option of any kind from its text, as scanimage takes it ("yes" for a true boolean).
inline SANE_Status ApplyOption(SaneDevice &dev, const std::string &name, const std::string &value)
{
    const SANE_Int i = FindOption(dev, name.c_str());
    const SANE_Option_Descriptor *d = i >= 0 ? dev.getOptionDescriptor(i) : nullptr;
    if (!d)
        return SANE_STATUS_UNSUPPORTED;
    if (d->type == SANE_TYPE_BOOL)
        return SetBoolOption(dev, name.c_str(), value == "yes");
    if (d->type == SANE_TYPE_STRING)
        return SetStringOption(dev, name.c_str(), value);
    return SetNumericOption(dev, name.c_str(), std::atof(value.c_str()));
}
