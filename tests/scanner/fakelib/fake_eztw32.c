/* A stand-in scanner library with the eight operations, for binding tests.
   Its version comes from FAKE_EZTW_VERSION or FakeEztw_SetVersion; every call
   is appended to a log that FakeEztw_Log returns. Built a second time with
   FAKE_PARTIAL, which leaves out two of the names. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static int g_version = -1;
static char g_log[8192];

static void note(const char *text)
{
    size_t used = strlen(g_log);
    if (used + strlen(text) + 2 < sizeof g_log) {
        strcat(g_log, text);
        strcat(g_log, "\n");
    }
}

EXPORT void FakeEztw_SetVersion(int version) { g_version = version; }
EXPORT const char *FakeEztw_Log(void) { return g_log; }
EXPORT void FakeEztw_ClearLog(void) { g_log[0] = 0; }

EXPORT int TWAIN_EasyVersion(void)
{
    note("EasyVersion");
    if (g_version >= 0)
        return g_version;
    const char *env = getenv("FAKE_EZTW_VERSION");
    return env ? atoi(env) : 114;
}

EXPORT int TWAIN_IsAvailable(void)
{
    note("IsAvailable");
    return 1;
}

EXPORT int TWAIN_SelectImageSource(void *owner)
{
    (void)owner;
    note("SelectImageSource");
    return 1;
}

EXPORT void TWAIN_SetHideUI(int hide)
{
    char buf[64];
    snprintf(buf, sizeof buf, "SetHideUI %d", hide);
    note(buf);
}

EXPORT int TWAIN_OpenDefaultSource(void)
{
    note("OpenDefaultSource");
    return 1;
}

#ifndef FAKE_PARTIAL
EXPORT int TWAIN_SetCurrentResolution(double dpi)
{
    char buf[64];
    snprintf(buf, sizeof buf, "SetCurrentResolution %g", dpi);
    note(buf);
    return 1;
}

EXPORT void TWAIN_RegisterApp(int major, int minor, int language, int country, const char *version,
                              const char *manufacturer, const char *family, const char *product)
{
    char buf[512];
    snprintf(buf, sizeof buf, "RegisterApp %d %d %d %d %s %s %s %s", major, minor, language, country,
             version, manufacturer, family, product);
    note(buf);
}
#endif

/* A 2 x 1 picture, 24 bits: a red and a blue pixel. */
EXPORT int TWAIN_AcquireToFilename(void *window, const char *path)
{
    (void)window;
    static const unsigned char bmp[] = {
        'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
        40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0,
        0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 255, 255, 0, 0, 0, 0};
    char buf[600];
    snprintf(buf, sizeof buf, "AcquireToFilename %s", path);
    note(buf);
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    fwrite(bmp, 1, sizeof bmp, f);
    fclose(f);
    return 1;
}
