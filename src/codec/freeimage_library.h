#pragma once
// The image library (FreeImage), bound at run time from the distribution's
// shared library. Every function of its public interface has a slot here.
#include <FreeImage.h>
#include <QString>

struct FreeImageFunctions {
#define KVN_FREEIMAGE_FUNCTION(name) decltype(&::FreeImage_##name) name = nullptr;
#include "codec/freeimage_functions.inc"
#undef KVN_FREEIMAGE_FUNCTION
};

// The slots; all null while the library is not bound. Binds on first use.
const FreeImageFunctions &FI();
// Whether the library is bound; tries once to bind it when it is not.
bool IsImageLibraryLoaded();
// Loads and binds the library. A library that cannot be loaded is reported
// once per run; a missing function unloads it again without a word.
bool BindImageLibrary();
void UnloadImageLibrary();
int ImageLibraryFunctionCount();
// The file bound; tests point it elsewhere. Unloads a bound library.
void SetImageLibraryFile(const QString &file);
QString ImageLibraryFile();
