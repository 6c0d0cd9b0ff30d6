#include "scanner/scanner_library.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "common/worker_pool.h"
#include "scanner/carried_files.h"
#include "scanner/eztwain_api.h"

#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>

namespace {

struct Binding {
    void *handle = nullptr;
    bool bound = false;
    TWAIN_EasyVersion_t easyVersion = nullptr;
    TWAIN_IsAvailable_t isAvailable = nullptr;
    TWAIN_SelectImageSource_t selectImageSource = nullptr;
    TWAIN_SetHideUI_t setHideUI = nullptr;
    TWAIN_OpenDefaultSource_t openDefaultSource = nullptr;
    TWAIN_SetCurrentResolution_t setCurrentResolution = nullptr;
    TWAIN_AcquireToFilename_t acquireToFilename = nullptr;
    TWAIN_RegisterApp_t registerApp = nullptr;
};

Binding g_binding;
bool g_present = false;
bool g_registered = false;
ScannerLibrary *g_override = nullptr;

template <typename F>
void lookUp(void *handle, const char *name, F &slot)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
}

// Calls through the bound addresses; a name that was not found answers 0.
class BoundScannerLibrary : public ScannerLibrary {
public:
    int EasyVersion() override { return g_binding.easyVersion ? g_binding.easyVersion() : 0; }
    int IsAvailable() override { return g_binding.isAvailable ? g_binding.isAvailable() : 0; }
    int SelectImageSource(void *owner) override
    {
        return g_binding.selectImageSource ? g_binding.selectImageSource(owner) : 0;
    }
    void SetHideUI(int hide) override
    {
        if (g_binding.setHideUI)
            g_binding.setHideUI(hide);
    }
    int OpenDefaultSource() override { return g_binding.openDefaultSource ? g_binding.openDefaultSource() : 0; }
    int SetCurrentResolution(double dpi) override
    {
        return g_binding.setCurrentResolution ? g_binding.setCurrentResolution(dpi) : 0;
    }
    int AcquireToFilename(void *window, const QString &path) override
    {
        if (!g_binding.acquireToFilename)
            return 0;
        const QByteArray p = path.toUtf8();
        return g_binding.acquireToFilename(window, p.constData());
    }
    void RegisterApp(int major, int minor, int language, int country, const QString &version,
                     const QString &manufacturer, const QString &family, const QString &product) override
    {
        if (!g_binding.registerApp)
            return;
        const QByteArray v = version.toUtf8(), m = manufacturer.toUtf8(), f = family.toUtf8(),
                         p = product.toUtf8();
        g_binding.registerApp(major, minor, language, country, v.constData(), m.constData(), f.constData(),
                              p.constData());
    }
};

BoundScannerLibrary g_bound;
}

ScannerLibrary &scannerLibrary() { return g_override ? *g_override : g_bound; }

void setScannerLibrary(ScannerLibrary *lib) { g_override = lib; }

bool BindScannerLibrary()
{
    const QString path = ProgramFolder() + QStringLiteral("eztw32.dll");
    if (!QFileInfo::exists(path) && CanCreateFile(path))
        WriteCarriedFile(CarriedResource(QStringLiteral("EZTW32")), path);
    g_present = QFileInfo::exists(path);
    if (g_present && !g_binding.bound) {
        void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle) {
            g_binding.handle = handle;
            lookUp(handle, "TWAIN_EasyVersion", g_binding.easyVersion);
            lookUp(handle, "TWAIN_IsAvailable", g_binding.isAvailable);
            lookUp(handle, "TWAIN_SelectImageSource", g_binding.selectImageSource);
            lookUp(handle, "TWAIN_SetHideUI", g_binding.setHideUI);
            lookUp(handle, "TWAIN_OpenDefaultSource", g_binding.openDefaultSource);
            lookUp(handle, "TWAIN_SetCurrentResolution", g_binding.setCurrentResolution);
            lookUp(handle, "TWAIN_AcquireToFilename", g_binding.acquireToFilename);
            lookUp(handle, "TWAIN_RegisterApp", g_binding.registerApp);
            g_binding.bound = true;
        }
    }
    return g_present;
}

bool ScannerLibraryPresent() { return g_present; }

bool ScannerLibraryBound() { return g_binding.bound; }

void ForgetScannerBinding()
{
    // The library stays loaded: code may still point into it.
    g_binding = Binding();
    g_registered = false;
}

void RegisterAppOnce(const QString &productTitle)
{
    if (g_registered)
        return;
    g_registered = true;
    // The library's own failure to register does not stop the program.
    CallScannerLibrary(QStringLiteral("aanmelden"), [&productTitle] {
        scannerLibrary().RegisterApp(1, 0, 2, 1, QStringLiteral("Version"), QStringLiteral("Manufacturer"),
                                     QStringLiteral("Family"), productTitle);
    });
}

bool CallScannerLibrary(const QString &what, const std::function<void()> &call, bool tell)
{
    try {
        call();
        return true;
    } catch (const std::exception &) {
        const QString text = QStringLiteral("De scanner kon niet worden bediend (%1): %2.")
                                 .arg(what, WorkerPool::Reason(std::current_exception()));
        LogText(text);
        if (tell)
            prompts().notice(text, NoticeCaption);
        return false;
    }
}
