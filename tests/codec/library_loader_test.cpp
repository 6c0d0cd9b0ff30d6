#include "codec/library_loader.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryLoader, FindsExportsWhateverTheirLetterCase)
{
    LibraryHandle zlib = LoadLibraryFile("libz.so.1");
    ASSERT_NE(zlib, nullptr);
    void *exact = FindLibraryExport(zlib, "zlibVersion");
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(FindLibraryExport(zlib, "ZLIBVERSION"), exact);
    EXPECT_EQ(FindLibraryExport(zlib, "ZlibVersion"), exact);
    EXPECT_NE(FindLibraryExport(zlib, "INFLATEINIT_"), nullptr);
    EXPECT_EQ(FindLibraryExport(zlib, "zlibVersio"), nullptr);
    EXPECT_EQ(FindLibraryExport(zlib, "no_such_function_anywhere"), nullptr);
    EXPECT_EQ(FindLibraryExport(zlib, ""), nullptr);
    FreeLibraryFile(zlib);
}

TEST(LibraryLoader, AMissingLibraryGivesNothingAndSaysWhich)
{
    EXPECT_EQ(LoadLibraryFile("libkvn-not-here.so.9"), nullptr);
    EXPECT_TRUE(LastLibraryError().contains("libkvn-not-here.so.9"));
    EXPECT_EQ(FindLibraryExport(nullptr, "zlibVersion"), nullptr);
    FreeLibraryFile(nullptr);
}
}
