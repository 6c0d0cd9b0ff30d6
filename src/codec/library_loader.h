#pragma once
// Run-time loading of shared libraries and lookup of their functions by name.
#include <QString>

using LibraryHandle = void *;

// Loads a library by file name or path; nullptr when it cannot be loaded
// (LastLibraryError() then says why).
LibraryHandle LoadLibraryFile(const QString &file);
QString LastLibraryError();
// The address of an exported function; an exact match first, then any
// export whose name differs only in letter case. nullptr when there is none.
void *FindLibraryExport(LibraryHandle library, const char *name);
// Releases a library; nothing for nullptr.
void FreeLibraryFile(LibraryHandle library);
