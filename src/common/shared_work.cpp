#include "common/shared_work.h"

#include "common/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

int CoresFor(int64_t amount, int64_t twoFrom)
{
    if (WorkerPool::onWorker())
        return 1;
    const unsigned available = std::thread::hardware_concurrency();
    double load = 0;
    return amount >= twoFrom && available > 1 && getloadavg(&load, 1) == 1 && load < available - 0.5 ? 2 : 1;
}

void ShareChunks(int begin, int end, int chunk, int cores, const std::function<void(int, int)> &work)
{
    std::atomic<int> next{begin};
    const auto share = [&] {
        for (int from; (from = next.fetch_add(chunk)) < end;)
            work(from, std::min(from + chunk, end));
    };
    PoolHelpers helpers;
    if (cores > 1 && end - begin > chunk)
        helpers.start(cores - 1, share);
    share();
    helpers.finish();
}
