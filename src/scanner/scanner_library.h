#pragma once
// The scanner library as the window sees it: eight operations. Production binds
// the carried library file by name; tests install an in-process fake.
#include <QString>
#include <functional>

class ScannerLibrary {
public:
    virtual ~ScannerLibrary() = default;
    virtual int EasyVersion() = 0;
    virtual int IsAvailable() = 0;
    virtual int SelectImageSource(void *owner) = 0;
    virtual void SetHideUI(int hide) = 0;
    virtual int OpenDefaultSource() = 0;
    virtual int SetCurrentResolution(double dpi) = 0;
    virtual int AcquireToFilename(void *window, const QString &path) = 0;
    virtual void RegisterApp(int major, int minor, int language, int country, const QString &version,
                             const QString &manufacturer, const QString &family, const QString &product) = 0;
};

// The library in force: the bound file, or a fake a test installed.
ScannerLibrary &scannerLibrary();
void setScannerLibrary(ScannerLibrary *lib);  // not owned; nullptr restores the bound one

// Writes the carried file when missing and creatable, loads it and binds the
// eight names once per run. Returns the library-present flag.
bool BindScannerLibrary();
bool ScannerLibraryPresent();
// True once the names were looked up in a loaded file.
bool ScannerLibraryBound();
// Tests: lets the next BindScannerLibrary look the names up again.
void ForgetScannerBinding();
// Runs call into the library. What it throws (out of memory, a refusal of the
// system, any other exception) is written to the log and, with tell, told in
// Dutch, naming what (e.g. "scannen"); returns false then.
bool CallScannerLibrary(const QString &what, const std::function<void()> &call, bool tell = true);
// Registers the program with the library once per run.
void RegisterAppOnce(const QString &productTitle);
