#include "codec/freeimage_library.h"

#include "codec/library_loader.h"
#include "common/prompts.h"

#include <dlfcn.h>
#include <stdexcept>

namespace {

class LinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Binding {
    LibraryHandle handle = nullptr;
    FreeImageFunctions functions;
    bool attempted = false;
    bool failureShown = false;
    QString file = QStringLiteral("libfreeimage.so.3");
    ~Binding()
    {
        if (handle)
            FreeLibraryFile(handle);
    }
};

Binding &binding()
{
    static Binding b;
    return b;
}

template <typename Slot>
void bindSlot(LibraryHandle handle, Slot &slot, const char *name)
{
    void *address = FindLibraryExport(handle, name);
    if (!address) {
        const char *why = dlerror();
        if (!why)
            why = "undefined symbol";
        throw LinkError(QStringLiteral("Error while linking DLL function \"%1\" (%2)")
                            .arg(QLatin1String(name), QString::fromLocal8Bit(why))
                            .toStdString());
    }
    slot = reinterpret_cast<Slot>(address);
}
}

const FreeImageFunctions &FI()
{
    Binding &b = binding();
    if (!b.handle && !b.attempted)
        BindImageLibrary();
    return b.functions;
}

bool IsImageLibraryLoaded()
{
    Binding &b = binding();
    if (!b.handle && !b.attempted)
        BindImageLibrary();
    return b.handle != nullptr;
}

bool BindImageLibrary()
{
    Binding &b = binding();
    if (b.handle)
        return true;
    b.attempted = true;
    b.handle = LoadLibraryFile(b.file);
    if (!b.handle) {
        if (!b.failureShown) {
            b.failureShown = true;
            prompts().notice(LastLibraryError(), QString());
        }
        return false;
    }
    try {
#define KVN_FREEIMAGE_FUNCTION(name) bindSlot(b.handle, b.functions.name, "FreeImage_" #name);
#include "codec/freeimage_functions.inc"
#undef KVN_FREEIMAGE_FUNCTION
    } catch (const LinkError &) {
        UnloadImageLibrary();
        b.attempted = true;
        return false;
    }
    return true;
}

void UnloadImageLibrary()
{
    Binding &b = binding();
    // Forgotten, never closed: the library leaves callbacks of its own in the
    // process's libtiff (a tag extender), which would point nowhere and crash
    // the next TIFF written. Loading it again finds it still there.
    b.handle = nullptr;
    b.functions = FreeImageFunctions();
    b.attempted = false;
}

int ImageLibraryFunctionCount()
{
    int n = 0;
#define KVN_FREEIMAGE_FUNCTION(name) ++n;
#include "codec/freeimage_functions.inc"
#undef KVN_FREEIMAGE_FUNCTION
    return n;
}

void SetImageLibraryFile(const QString &file)
{
    UnloadImageLibrary();
    binding().file = file;
    binding().failureShown = false;
}

QString ImageLibraryFile() { return binding().file; }
