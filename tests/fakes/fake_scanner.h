#pragma once
// An in-process scanner library: records every call and, on acquisition, writes
// the given picture as a BMP file to the path it is handed. Installs itself.
#include "scanner/scanner_library.h"

#include <QImage>
#include <QStringList>
#include <exception>
#include <functional>

class FakeScanner : public ScannerLibrary {
public:
    FakeScanner();
    ~FakeScanner() override;

    int EasyVersion() override;
    int IsAvailable() override;
    int SelectImageSource(void *owner) override;
    void SetHideUI(int hide) override;
    int OpenDefaultSource() override;
    int SetCurrentResolution(double dpi) override;
    int AcquireToFilename(void *window, const QString &path) override;
    void RegisterApp(int major, int minor, int language, int country, const QString &version,
                     const QString &manufacturer, const QString &family, const QString &product) override;

    // What the next acquisition writes; a null picture writes nothing (a cancel).
    QImage image;
    // Raw bytes to write instead of the picture (an unreadable file), when not null.
    QByteArray rawFile;
    // The resolution the file is labelled with, as a scanner set in its own
    // dialog does; 0: the resolution last asked for.
    double deliveredDpi = 0;
    int version = 114;
    int available = 1;
    bool openResult = true;
    bool throwOnAcquire = false;
    std::exception_ptr acquireFailure;   // thrown by the acquisition when set
    bool throwOnOpen = false;
    QStringList calls;   // "IsAvailable", "SetHideUI 1", "SetCurrentResolution 300", ...
    QList<double> resolutions;
};
