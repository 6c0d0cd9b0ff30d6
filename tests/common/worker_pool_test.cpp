#include "common/shared_work.h"
#include "common/worker_pool.h"

#include <gtest/gtest.h>

#include <future>
#include <new>
#include <stdexcept>
#include <system_error>

// Whatever a job throws becomes its Dutch reason, and the worker goes on to the
// next job: a pool of one worker shows both.
TEST(WorkerPool, AJobsFailureIsItsReasonAndThePoolGoesOn)
{
    WorkerPool pool(1);
    struct Case {
        std::function<void()> job;
        const char *reason;
    } cases[] = {
        {[] {}, ""},
        {[] { throw std::bad_alloc(); }, "te weinig geheugen"},
        {[] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
         "het systeem weigerde: Bron tijdelijk niet beschikbaar"},
        {[] { throw std::runtime_error("kapot"); }, "onverwachte fout: kapot"},
        {[] { throw 7; }, "onverwachte fout"},
    };
    for (const Case &c : cases) {
        std::promise<std::pair<QString, bool>> result;
        pool.post([&] { result.set_value({WorkerPool::Guard(c.job), WorkerPool::onWorker()}); });
        // Unguarded, the same throw must not end the program either.
        pool.post(c.job);
        const auto [reason, onWorker] = result.get_future().get();
        EXPECT_EQ(reason, QString::fromUtf8(c.reason));
        EXPECT_TRUE(onWorker);
    }
    EXPECT_FALSE(WorkerPool::onWorker());
    std::promise<void> last;
    pool.post([&] { last.set_value(); });
    last.get_future().get();
}

// Chunks shared with the pool are each done once, from the caller and from a
// worker alike (there alone), and a helper's throw reaches the caller.
TEST(WorkerPool, SharedChunksAreDoneOnceAndAHelpersThrowReachesTheCaller)
{
    for (const bool fromWorker : {false, true}) {
        std::vector<std::atomic<int>> done(1000);
        const auto run = [&] {
            ShareChunks(0, 1000, 7, 2, [&](int from, int to) {
                for (int i = from; i < to; ++i)
                    ++done[size_t(i)];
            });
        };
        if (fromWorker) {
            std::promise<void> ran;
            WorkerPool::shared().post([&] {
                run();
                ran.set_value();
            });
            ran.get_future().get();
        } else {
            run();
        }
        for (const auto &d : done)
            ASSERT_EQ(d.load(), 1) << fromWorker;
    }
    // The helper throws; the caller waits for that and finishes the rest.
    const std::thread::id caller = std::this_thread::get_id();
    std::promise<void> thrown;
    std::shared_future<void> helperThrew = thrown.get_future().share();
    const QString reason = WorkerPool::Guard([&] {
        ShareChunks(0, 1000, 1, 2, [&](int, int) {
            if (std::this_thread::get_id() == caller)
                return helperThrew.wait();
            thrown.set_value();
            throw std::bad_alloc();
        });
    });
    EXPECT_EQ(reason, QStringLiteral("te weinig geheugen"));
}
