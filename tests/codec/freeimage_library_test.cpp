#include "codec/free_bitmap.h"
#include "codec/freeimage_library.h"
#include "fakes/scripted_prompts.h"

#include <gtest/gtest.h>

namespace {

// Points the binding at another file for one test and restores the real one.
class OtherLibrary {
public:
    explicit OtherLibrary(const QString &file) : m_real(ImageLibraryFile()) { SetImageLibraryFile(file); }
    ~OtherLibrary() { SetImageLibraryFile(m_real); }

private:
    QString m_real;
};

TEST(FreeImageLibrary, BindsEveryFunctionOfTheHeader)
{
    ASSERT_TRUE(IsImageLibraryLoaded());
    EXPECT_EQ(ImageLibraryFunctionCount(), 236);
    const FreeImageFunctions &fi = FI();
    EXPECT_NE(fi.Initialise, nullptr);
    EXPECT_NE(fi.Composite, nullptr);
    EXPECT_NE(fi.GetVersion, nullptr);
    EXPECT_STREQ(fi.GetVersion(), "3.18.0");
}

TEST(FreeImageLibrary, ALibraryThatCannotBeLoadedIsReportedOnce)
{
    ScriptedPrompts prompts;
    {
        OtherLibrary missing("libkvn-not-there.so.3");
        EXPECT_FALSE(IsImageLibraryLoaded());
        EXPECT_FALSE(BindImageLibrary());
        EXPECT_EQ(FI().Load, nullptr);
        ASSERT_EQ(prompts.texts().size(), 1);
        EXPECT_TRUE(prompts.texts().first().contains("libkvn-not-there.so.3"));
        TFreeWinBitmap bitmap;
        EXPECT_FALSE(bitmap.Create(FIT_BITMAP, 4, 4, 24));
        EXPECT_FALSE(bitmap.CopyFromBitmap(QImage(4, 4, QImage::Format_BGR888)));
    }
    EXPECT_TRUE(IsImageLibraryLoaded());
}

TEST(FreeImageLibrary, ALibraryLackingAFunctionIsUnloadedWithoutAWord)
{
    ScriptedPrompts prompts;
    {
        OtherLibrary zlib("libz.so.1");
        EXPECT_FALSE(IsImageLibraryLoaded());
        EXPECT_EQ(FI().Initialise, nullptr);
        EXPECT_TRUE(prompts.texts().isEmpty());
    }
    EXPECT_TRUE(IsImageLibraryLoaded());
}
}
