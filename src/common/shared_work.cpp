#include "common/shared_work.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>

int CoresFor(int64_t amount, int64_t twoFrom)
{
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
    std::thread other;
    if (cores > 1 && end - begin > chunk) {
        try {
            other = std::thread(share);
        } catch (const std::system_error &) {
            // no thread to be had: all on this one
        }
    }
    share();
    if (other.joinable())
        other.join();
}
