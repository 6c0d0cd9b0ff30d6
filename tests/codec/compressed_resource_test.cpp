#include "codec/compressed_resource.h"
#include "fakes/file_bytes.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray Compress(const QByteArray &plain)
{
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(int(size), '\0');
    compress(reinterpret_cast<Bytef *>(out.data()), &size,
             reinterpret_cast<const Bytef *>(plain.constData()), uLong(plain.size()));
    out.resize(int(size));
    return out;
}

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7919) >> 3);
    return bytes;
}

// Resources built with the real resource compiler and registered under ":/".
class CompressedResource : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const QString rcc = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/rcc";
        if (!QFile::exists(rcc))
            return;
        dir = new QTemporaryDir;
        QString qrc = "<RCC><qresource prefix=\"/\">\n";
        const QList<QPair<QString, QByteArray>> files = {
            {"KVNTEST_CHUNK", Compress(Pattern(61440))},
            {"KVNTEST_TWO_CHUNKS", Compress(Pattern(2 * 61440))},
            {"KVNTEST_ODD", Compress(Pattern(61440 + 17))},
            {"KVNTEST_EMPTY", Compress(QByteArray())},
            {"KVNTEST_DAMAGED", Compress(Pattern(100000)).left(500)},
            {"KVNTEST_PLAIN", QByteArray("not zlib at all")},
        };
        for (const auto &f : files) {
            writeAll(dir->path() + '/' + f.first, f.second);
            qrc += "<file>" + f.first + "</file>\n";
        }
        writeAll(dir->path() + "/test.qrc", (qrc + "</qresource></RCC>\n").toUtf8());
        QProcess p;
        p.setWorkingDirectory(dir->path());
        p.start(rcc, {"--binary", "--no-compress", "-o", "test.rcc", "test.qrc"});
        p.waitForFinished();
        registered = p.exitCode() == 0 && QResource::registerResource(dir->path() + "/test.rcc");
    }
    static void TearDownTestSuite()
    {
        if (registered)
            QResource::unregisterResource(dir->path() + "/test.rcc");
        delete dir;
        dir = nullptr;
    }
    void SetUp() override
    {
        if (!registered)
            GTEST_SKIP() << "resource compiler not available";
    }
    static inline QTemporaryDir *dir = nullptr;
    static inline bool registered = false;
};

TEST_F(CompressedResource, InflatesWholeChunksAndRemaindersCompletely)
{
    EXPECT_EQ(LoadCompressedResource("KVNTEST_CHUNK").bytes, Pattern(61440));
    EXPECT_EQ(LoadCompressedResource("KVNTEST_TWO_CHUNKS").bytes, Pattern(2 * 61440));
    EXPECT_EQ(LoadCompressedResource("KVNTEST_ODD").bytes, Pattern(61440 + 17));
    EXPECT_EQ(LoadCompressedResource("KVNTEST_EMPTY").size(), 0);
}

TEST_F(CompressedResource, AMissingResourceRaisesItsMessage)
{
    try {
        LoadCompressedResource("FREEIMAGE_DLL_MISSING");
        FAIL() << "no error raised";
    } catch (const ResourceError &e) {
        EXPECT_STREQ(e.what(), "Resourcetype RT_RCDATA with name \"FREEIMAGE_DLL_MISSING\" not found.");
    }
}

TEST_F(CompressedResource, DamagedDataRaisesInsteadOfGivingPartOfIt)
{
    EXPECT_THROW(LoadCompressedResource("KVNTEST_DAMAGED"), ResourceError);
    EXPECT_THROW(LoadCompressedResource("KVNTEST_PLAIN"), ResourceError);
}
}
