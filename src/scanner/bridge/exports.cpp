// The eight exported operations. No C++ exception may cross this boundary.
#include "scanner/bridge/bridge.h"
#include "scanner/eztwain_api.h"

#include <cstdio>
#include <exception>

#define KVN_EXPORT extern "C" __attribute__((visibility("default")))

// What an operation throws ends there: written to the error stream and told in
// Dutch; only what is no exception of the standard library goes untold.
template <typename T, typename F>
static T guarded(const char *what, T fallback, F &&f) noexcept
{
    try {
        return f();
    } catch (const std::exception &) {
        Bridge::failed(what, std::current_exception());
    } catch (...) {
        std::fprintf(stderr, "eztw32: %s: onbekende fout\n", what);
    }
    return fallback;
}

KVN_EXPORT int TWAIN_EasyVersion(void) { return Bridge::kVersion; }

KVN_EXPORT int TWAIN_IsAvailable(void)
{
    return guarded("beschikbaarheid nagaan", 0, [] { return Bridge::instance().isAvailable(); });
}

KVN_EXPORT int TWAIN_SelectImageSource(void *owner)
{
    return guarded("scanner kiezen", 0, [owner] { return Bridge::instance().selectImageSource(owner); });
}

KVN_EXPORT void TWAIN_SetHideUI(int hide)
{
    guarded("instellen", 0, [hide] {
        Bridge::instance().setHideUI(hide);
        return 0;
    });
}

KVN_EXPORT int TWAIN_OpenDefaultSource(void)
{
    return guarded("openen", 0, [] { return Bridge::instance().openDefaultSource(); });
}

KVN_EXPORT int TWAIN_SetCurrentResolution(double dpi)
{
    return guarded("resolutie instellen", 0, [dpi] { return Bridge::instance().setCurrentResolution(dpi); });
}

KVN_EXPORT int TWAIN_AcquireToFilename(void *window, const char *path)
{
    return guarded("scannen", 0, [window, path] { return Bridge::instance().acquireToFilename(window, path); });
}

KVN_EXPORT void TWAIN_RegisterApp(int, int, int, int, const char *, const char *, const char *, const char *product)
{
    guarded("aanmelden", 0, [product] {
        Bridge::instance().registerApp(product);
        return 0;
    });
}

// Type checks against the declared signatures.
static_assert(sizeof(TWAIN_EasyVersion_t) == sizeof(&TWAIN_EasyVersion), "");
[[maybe_unused]] static TWAIN_AcquireToFilename_t kAcquireCheck = &TWAIN_AcquireToFilename;
[[maybe_unused]] static TWAIN_RegisterApp_t kRegisterCheck = &TWAIN_RegisterApp;
[[maybe_unused]] static TWAIN_SetHideUI_t kHideCheck = &TWAIN_SetHideUI;
[[maybe_unused]] static TWAIN_SetCurrentResolution_t kResCheck = &TWAIN_SetCurrentResolution;
[[maybe_unused]] static TWAIN_SelectImageSource_t kSelCheck = &TWAIN_SelectImageSource;
[[maybe_unused]] static TWAIN_OpenDefaultSource_t kOpenCheck = &TWAIN_OpenDefaultSource;
[[maybe_unused]] static TWAIN_IsAvailable_t kAvailCheck = &TWAIN_IsAvailable;
