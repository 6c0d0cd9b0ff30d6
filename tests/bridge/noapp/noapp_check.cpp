// Loads the built library the way the program does and scans the virtual
// flatbed in a process without a QApplication ("bare") or with only a
// QCoreApplication ("core"): no dialogs, a BMP file, no crash.
#include "scanner/eztwain_api.h"

#include <QCoreApplication>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

static int fail(const char *what)
{
    std::fprintf(stderr, "FAIL: %s\n", what);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return fail("usage: noapp_check <library> bare|core");
    std::unique_ptr<QCoreApplication> app;
    if (std::strcmp(argv[2], "core") == 0)
        app = std::make_unique<QCoreApplication>(argc, argv);

    // The library remembers its source beside itself: give it a folder of its own.
    const fs::path dir = fs::temp_directory_path() / ("noapp-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(argv[1], dir / "eztw32.dll", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "eztw32.ini") << "source=Voorbeeldscanner (virtueel)\n";

    void *lib = dlopen((dir / "eztw32.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return fail(dlerror());
    auto version = reinterpret_cast<TWAIN_EasyVersion_t>(dlsym(lib, "TWAIN_EasyVersion"));
    auto available = reinterpret_cast<TWAIN_IsAvailable_t>(dlsym(lib, "TWAIN_IsAvailable"));
    auto select = reinterpret_cast<TWAIN_SelectImageSource_t>(dlsym(lib, "TWAIN_SelectImageSource"));
    auto hide = reinterpret_cast<TWAIN_SetHideUI_t>(dlsym(lib, "TWAIN_SetHideUI"));
    auto open = reinterpret_cast<TWAIN_OpenDefaultSource_t>(dlsym(lib, "TWAIN_OpenDefaultSource"));
    auto resolution = reinterpret_cast<TWAIN_SetCurrentResolution_t>(dlsym(lib, "TWAIN_SetCurrentResolution"));
    auto acquire = reinterpret_cast<TWAIN_AcquireToFilename_t>(dlsym(lib, "TWAIN_AcquireToFilename"));
    auto registerApp = reinterpret_cast<TWAIN_RegisterApp_t>(dlsym(lib, "TWAIN_RegisterApp"));
    if (!version || !available || !select || !hide || !open || !resolution || !acquire || !registerApp)
        return fail("an operation is not exported");
    if (version() < 114)
        return fail("version below 114");
    registerApp(1, 0, 2, 1, "Version", "Manufacturer", "Family", "Vexlo Scan Tool");
    if (available() != 1)
        return fail("not available");
    if (select(nullptr) != 0)  // no GUI: nothing to choose with
        return fail("source selection without a GUI");
    hide(0);  // no GUI: scans with the current options anyway
    if (open() != 1 || resolution(40) != 1)
        return fail("open or resolution");
    const std::string bmp = (dir / "scan.bmp").string();
    if (acquire(nullptr, bmp.c_str()) == 0)
        return fail("acquire");
    std::ifstream in(bmp, std::ios::binary);
    char magic[2] = {};
    in.read(magic, 2);
    if (magic[0] != 'B' || magic[1] != 'M')
        return fail("not a BMP file");
    if (acquire(nullptr, (dir / "missing" / "scan.bmp").c_str()) != 0)
        return fail("unwritable path reported as success");
    fs::remove_all(dir);
    std::printf("ok (%s)\n", argv[2]);
    return 0;
}
