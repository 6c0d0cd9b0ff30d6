// Binding the scanner library by name, and the carried files beside the program.
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"
#include "scanner/carried_files.h"
#include "scanner/scanner_library.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Calls an extra function of the fake library that the program does not know.
template <typename F>
F fakeFunction(const QString &path, const char *name)
{
    void *h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    return h ? reinterpret_cast<F>(dlsym(h, name)) : nullptr;
}

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForgetScannerBinding();
        setScannerLibrary(nullptr);
        library = program.path("eztw32.dll");
    }
    void TearDown() override { ForgetScannerBinding(); }
    void installFake(const char *from)
    {
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(from), library));
    }
    QString log()
    {
        auto fn = fakeFunction<const char *(*)()>(library, "FakeEztw_Log");
        return fn ? QString::fromUtf8(fn()) : QString();
    }

    TempProgram program;
    QString library;
};

}

TEST_F(BindingTest, FullLibrary_ShouldBindAllEightNamesAndPassTheArgumentsThrough)
{
    installFake(FAKE_EZTW_PATH);
    ASSERT_TRUE(BindScannerLibrary());
    EXPECT_TRUE(ScannerLibraryPresent());
    EXPECT_TRUE(ScannerLibraryBound());
    ScannerLibrary &lib = scannerLibrary();

    qputenv("FAKE_EZTW_VERSION", "113");
    EXPECT_EQ(lib.EasyVersion(), 113);
    qunsetenv("FAKE_EZTW_VERSION");
    EXPECT_EQ(lib.EasyVersion(), 114);
    EXPECT_EQ(lib.IsAvailable(), 1);
    EXPECT_EQ(lib.OpenDefaultSource(), 1);
    lib.SetHideUI(1);
    EXPECT_EQ(lib.SetCurrentResolution(600.0), 1);
    const QString scan = program.temp() + "preview.bmp";
    EXPECT_EQ(lib.AcquireToFilename(nullptr, scan), 1);
    RegisterAppOnce("Vexlo Scan Tool");
    RegisterAppOnce("Vexlo Scan Tool");   // once per run

    const QImage picture(scan);
    ASSERT_EQ(picture.size(), QSize(2, 1));
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(255, 0, 0));
    const QString calls = log();
    EXPECT_TRUE(calls.contains("SetHideUI 1\n"));
    EXPECT_TRUE(calls.contains("SetCurrentResolution 600\n"));
    EXPECT_TRUE(calls.contains("AcquireToFilename " + scan + "\n"));
    EXPECT_EQ(calls.count("RegisterApp 1 0 2 1 Version Manufacturer Family Vexlo Scan Tool\n"), 1);
}

TEST_F(BindingTest, MissingNames_ShouldStayUnboundAndAnswerZero)
{
    installFake(FAKE_EZTW_PARTIAL_PATH);
    ASSERT_TRUE(BindScannerLibrary());
    ScannerLibrary &lib = scannerLibrary();
    EXPECT_EQ(lib.EasyVersion(), 114);
    EXPECT_EQ(lib.SetCurrentResolution(300), 0);
    RegisterAppOnce("Vexlo Scan Tool");
    EXPECT_FALSE(log().contains("RegisterApp"));
    EXPECT_FALSE(log().contains("SetCurrentResolution"));
}

TEST_F(BindingTest, BindingHappensOncePerRun_EvenWhenTheFileIsReplaced)
{
    installFake(FAKE_EZTW_PATH);
    ASSERT_TRUE(BindScannerLibrary());
    auto setVersion = fakeFunction<void (*)(int)>(library, "FakeEztw_SetVersion");
    ASSERT_NE(setVersion, nullptr);
    setVersion(120);
    QFile::remove(library);
    installFake(FAKE_EZTW_PARTIAL_PATH);
    EXPECT_TRUE(BindScannerLibrary());
    EXPECT_EQ(scannerLibrary().EasyVersion(), 120);   // still the first file's functions
}

TEST_F(BindingTest, NoFileAndNothingToWrite_ShouldLeaveTheLibraryAbsentAndCallsHarmless)
{
    // This test program carries no library in its resources.
    EXPECT_FALSE(BindScannerLibrary());
    EXPECT_FALSE(ScannerLibraryPresent());
    EXPECT_FALSE(QFileInfo::exists(library));
    ScannerLibrary &lib = scannerLibrary();
    EXPECT_EQ(lib.IsAvailable(), 0);
    EXPECT_EQ(lib.EasyVersion(), 0);
    EXPECT_EQ(lib.AcquireToFilename(nullptr, program.temp() + "x.bmp"), 0);
    lib.SetHideUI(0);
}

TEST_F(BindingTest, UnloadableFile_ShouldBePresentButUnbound)
{
    writeAll(library, "not a library");
    EXPECT_TRUE(BindScannerLibrary());
    EXPECT_FALSE(ScannerLibraryBound());
    EXPECT_EQ(scannerLibrary().IsAvailable(), 0);
}

// ------------------------------------------------------------- carried files

class CarriedFilesTest : public BindingTest {
protected:
    CarriedSource source()
    {
        return [this](const QString &name) {
            requested << name;
            if (name == "EZTW32")
                return readAll(QString::fromUtf8(FAKE_EZTW_PATH));
            return help;
        };
    }
    QStringList requested;
    QByteArray help = QByteArray(kHelpFileMinimumSize, 'h');
};

TEST_F(CarriedFilesTest, FirstStart_ShouldWriteTheLibraryAndTheHelpFile)
{
    EnsureCarriedFiles(source());
    EXPECT_EQ(readAll(library), readAll(QString::fromUtf8(FAKE_EZTW_PATH)));
    EXPECT_EQ(readAll(program.path("kvnscan.chm")), help);
    EXPECT_TRUE(ScannerLibraryBound());
    EXPECT_EQ(scannerLibrary().EasyVersion(), 114);
    EXPECT_TRUE(QFileInfo(library).isExecutable());
}

TEST_F(CarriedFilesTest, Version113_ShouldBeReplacedWithoutTouchingTheLoadedFile)
{
    installFake(FAKE_EZTW_PARTIAL_PATH);   // stands for an old library
    const QByteArray old = readAll(library);
    qputenv("FAKE_EZTW_VERSION", "113");
    writeAll(program.path("kvnscan.chm"), help);
    const ino_t before = inodeOf(library);

    EnsureCarriedFiles(source());
    qunsetenv("FAKE_EZTW_VERSION");

    EXPECT_EQ(readAll(library), readAll(QString::fromUtf8(FAKE_EZTW_PATH)));
    EXPECT_NE(inodeOf(library), before);   // renamed over, not rewritten in place
    EXPECT_NE(readAll(library), old);
    // The old code mapped in this process still runs.
    EXPECT_EQ(scannerLibrary().EasyVersion(), 114);
    EXPECT_EQ(requested, QStringList{"EZTW32"});
}

TEST_F(CarriedFilesTest, Version114_AndAFullHelpFile_ShouldStayInPlace)
{
    installFake(FAKE_EZTW_PARTIAL_PATH);
    writeAll(program.path("kvnscan.chm"), QByteArray(kHelpFileMinimumSize, 'o'));
    const ino_t before = inodeOf(library);
    EnsureCarriedFiles(source());
    EXPECT_EQ(inodeOf(library), before);
    EXPECT_EQ(readAll(program.path("kvnscan.chm")), QByteArray(kHelpFileMinimumSize, 'o'));
    EXPECT_TRUE(requested.isEmpty());
}

TEST_F(CarriedFilesTest, HelpFileOneByteShort_ShouldBeReplaced)
{
    installFake(FAKE_EZTW_PATH);
    writeAll(program.path("kvnscan.chm"), QByteArray(kHelpFileMinimumSize - 1, 'o'));
    EnsureCarriedFiles(source());
    EXPECT_EQ(readAll(program.path("kvnscan.chm")), help);

    // Our own help file, far below that size, is not written again at every start.
    help = QByteArray(5000, 'h');
    writeAll(program.path("kvnscan.chm"), help);
    ASSERT_TRUE(QFile::setPermissions(program.path("kvnscan.chm"), QFile::ReadOwner));
    EnsureCarriedFiles(source());
    EXPECT_FALSE(QFile::permissions(program.path("kvnscan.chm")) & QFile::WriteOwner);
}

TEST_F(CarriedFilesTest, UnloadableLibraryFile_ShouldBeReplacedAndThenBound)
{
    writeAll(library, "broken");
    EnsureCarriedFiles(source());
    EXPECT_EQ(readAll(library), readAll(QString::fromUtf8(FAKE_EZTW_PATH)));
    EXPECT_TRUE(ScannerLibraryBound());
}

TEST(WriteCarriedFileTest, ShouldRefuseMissingDataAndUnwritableFolders)
{
    TempProgram program;
    EXPECT_FALSE(WriteCarriedFile(QByteArray(), program.path("a.dll")));
    EXPECT_FALSE(QFileInfo::exists(program.path("a.dll")));
    EXPECT_FALSE(WriteCarriedFile("x", program.path("no/such/folder/a.dll")));
    EXPECT_TRUE(WriteCarriedFile("", program.path("empty.chm")));   // an empty resource is still a file
    EXPECT_EQ(QFileInfo(program.path("empty.chm")).size(), 0);
}
