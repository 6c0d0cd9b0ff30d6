#pragma once
// The eight operations of the scanner library, exported with C linkage under
// these names. Paths are UTF-8. Window handles are opaque and may be null.
#ifdef __cplusplus
extern "C" {
#endif

typedef int (*TWAIN_EasyVersion_t)(void);
typedef int (*TWAIN_IsAvailable_t)(void);
typedef int (*TWAIN_SelectImageSource_t)(void *owner);
typedef void (*TWAIN_SetHideUI_t)(int hide);
typedef int (*TWAIN_OpenDefaultSource_t)(void);
typedef int (*TWAIN_SetCurrentResolution_t)(double dpi);
typedef int (*TWAIN_AcquireToFilename_t)(void *window, const char *path);
typedef void (*TWAIN_RegisterApp_t)(int major, int minor, int language, int country,
                                    const char *version, const char *manufacturer,
                                    const char *family, const char *product);

#ifdef __cplusplus
}
#endif
