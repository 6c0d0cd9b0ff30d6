#pragma once
// One pool of workers, as many as cores, for the long work beside the window:
// encoding cards, reading backs, strips of large pictures. Work already on the
// pool never starts threads of its own nor waits for the pool, so the program
// runs as many threads as cores however the work nests.
#include <QString>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    // workers at least one; the program's own pool is shared().
    explicit WorkerPool(int workers);
    // Runs what is still queued, then ends the workers.
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // As many workers as cores, for the program's life.
    static WorkerPool &shared();

    // Runs job on a worker, jobs taken in the order posted. What job throws is
    // caught there and dropped, so the pool goes on: a poster that needs the
    // reason wraps the job in Guard.
    void post(std::function<void()> job);
    int size() const { return int(m_workers.size()); }

    // True on a worker of any pool.
    static bool onWorker();

    // Runs job here; what it throws becomes its reason in Dutch (out of memory,
    // a refusal of the system, any other exception), empty when it ran through.
    static QString Guard(const std::function<void()> &job);
    // The Dutch reason of a caught exception.
    static QString Reason(const std::exception_ptr &error);

private:
    void work();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    std::vector<std::thread> m_workers;
};

// Work one caller shares with workers of the pool that are free: the caller
// does its own share too, so nothing waits for a pool busy with other work.
// Helpers that start after finish do nothing.
class PoolHelpers {
public:
    // pool: the shared one when not given, started only once helpers are asked for.
    explicit PoolHelpers(WorkerPool *pool = nullptr);
    ~PoolHelpers();   // finish(), dropping what a helper threw
    PoolHelpers(const PoolHelpers &) = delete;
    PoolHelpers &operator=(const PoolHelpers &) = delete;

    // Posts count helpers each calling work once, none on a worker of a pool
    // or when no thread is to be had: then the caller does it all. work may
    // refer to the caller's locals.
    void start(int count, std::function<void()> work);
    // No helper starts after this; waits for those running and throws again
    // the first exception one of them threw.
    void finish();

private:
    struct State;
    WorkerPool *m_pool;
    std::shared_ptr<State> m_state;
};
