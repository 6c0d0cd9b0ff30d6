#pragma once
// A fresh temporary program folder with the executable path and the temporary
// folder pointed into it; restores the real locations when it goes.
#include "common/locations.h"

#include <QDir>
#include <QTemporaryDir>

class TempProgram {
public:
    TempProgram()
    {
        QDir(m_dir.path()).mkpath("tmp");
        Locations::overrideExecutablePath(folder() + "KVNscan");
        Locations::overrideTempFolder(m_dir.path() + "/tmp");
    }
    ~TempProgram()
    {
        Locations::overrideExecutablePath({});
        Locations::overrideTempFolder({});
    }
    QString folder() const { return m_dir.path() + '/'; }
    QString temp() const { return m_dir.path() + "/tmp/"; }
    QString path(const QString &name) const { return folder() + name; }

private:
    QTemporaryDir m_dir;
};
