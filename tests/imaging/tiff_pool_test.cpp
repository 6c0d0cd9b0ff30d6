#include "codec/freeimage_library.h"
#include "common/worker_pool.h"
#include "fakes/scripted_prompts.h"
#include "imaging/tiff_writer.h"
#include "test_pictures.h"

#include <QDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <thread>

namespace {
int Threads()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QByteArray Tiff(const QImage &picture)
{
    FILE *file = std::tmpfile();
    QByteArray bytes;
    if (file && WriteTiff(file, picture, 11811, 11811) && std::fflush(file) == 0) {
        bytes.resize(std::ftell(file));
        std::rewind(file);
        bytes.resize(qsizetype(std::fread(bytes.data(), 1, size_t(bytes.size()), file)));
    }
    if (file)
        std::fclose(file);
    return bytes;
}
}

// Many strips, written from this thread and from a worker of the pool: the same
// bytes, and no thread beyond the pool's own is ever started for them.
TEST(TiffStrips, EncodedOnThePoolWithoutThreadsOfTheirOwnAndTheSameBytes)
{
    const QImage picture = NumberedPicture(1001, 1800, 3);
    std::promise<void> warmed;
    WorkerPool::shared().post([&] { warmed.set_value(); });
    warmed.get_future().get();
    std::atomic<bool> watching{true};
    std::atomic<int> most{0};
    std::thread watcher([&] {
        while (watching)
            most = std::max(most.load(), Threads());
    });
    while (most == 0)
        std::this_thread::yield();
    const int before = Threads();
    const QByteArray here = Tiff(picture);
    std::promise<QByteArray> fromPool;
    WorkerPool::shared().post([&] { fromPool.set_value(Tiff(picture)); });
    const QByteArray onWorker = fromPool.get_future().get();
    watching = false;
    watcher.join();
    EXPECT_EQ(most.load(), before);
    ASSERT_GT(here.size(), 3 << 20);
    EXPECT_TRUE(here == onWorker);
}

// The image library leaves a callback in the libtiff we write with: letting it
// go and taking it again must leave the writer working.
TEST(TiffStrips, WrittenAfterTheImageLibraryWasLetGoAndTakenAgain)
{
    ScriptedPrompts prompts;
    ASSERT_TRUE(IsImageLibraryLoaded());
    const QString real = ImageLibraryFile();
    SetImageLibraryFile(QStringLiteral("libkvn-no-such-library.so.3"));
    EXPECT_FALSE(IsImageLibraryLoaded());
    SetImageLibraryFile(real);
    EXPECT_TRUE(IsImageLibraryLoaded());
    EXPECT_FALSE(Tiff(NumberedPicture(33, 20)).isEmpty());
}
