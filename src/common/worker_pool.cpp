#include "common/worker_pool.h"

#include "common/filez.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <system_error>

namespace {
thread_local bool t_onWorker = false;
}

WorkerPool::WorkerPool(int workers)
{
    for (int i = 0; i < std::max(1, workers); ++i) {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // fewer threads to be had: the pool makes do with those it has
            if (i == 0)
                throw;
            break;
        }
    }
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread &t : m_workers)
        t.join();
}

WorkerPool &WorkerPool::shared()
{
    // Never destroyed: a worker still running at exit must not meet a pool torn down.
    static WorkerPool *const pool = new WorkerPool(int(std::max(1u, std::thread::hardware_concurrency())));
    return *pool;
}

void WorkerPool::post(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_one();
}

bool WorkerPool::onWorker()
{
    return t_onWorker;
}

void WorkerPool::work()
{
    t_onWorker = true;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [this] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        Guard(job);
    }
}

QString WorkerPool::Reason(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        return QStringLiteral("te weinig geheugen");
    } catch (const std::system_error &e) {
        return QStringLiteral("het systeem weigerde: %1").arg(DutchReason(QString::fromLocal8Bit(e.code().message().c_str())));
    } catch (const std::exception &e) {
        return QStringLiteral("onverwachte fout: %1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return QStringLiteral("onverwachte fout");
    }
}

QString WorkerPool::Guard(const std::function<void()> &job)
{
    try {
        job();
        return QString();
    } catch (...) {
        return Reason(std::current_exception());
    }
}

struct PoolHelpers::State {
    std::mutex lock;
    std::condition_variable changed;
    std::function<void()> work;
    int running = 0;
    bool closed = false;
    std::exception_ptr error;
};

PoolHelpers::PoolHelpers(WorkerPool *pool) : m_pool(pool), m_state(std::make_shared<State>()) {}

PoolHelpers::~PoolHelpers()
{
    try {
        finish();
    } catch (...) {
        // the caller has its own reason already, or none to give
    }
}

void PoolHelpers::start(int count, std::function<void()> work)
{
    if (WorkerPool::onWorker() || count <= 0)
        return;
    if (!m_pool) {
        try {
            m_pool = &WorkerPool::shared();
        } catch (const std::system_error &) {
            return;   // no thread to be had: all on the caller's
        }
    }
    {
        const std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->closed = false;
        m_state->work = std::move(work);
    }
    for (int i = 0; i < count; ++i) {
        m_pool->post([state = m_state] {
            {
                const std::lock_guard<std::mutex> guard(state->lock);
                if (state->closed)
                    return;
                ++state->running;
            }
            std::exception_ptr error;
            try {
                state->work();
            } catch (...) {
                error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> guard(state->lock);
                if (error && !state->error)
                    state->error = error;
                --state->running;
            }
            state->changed.notify_all();
        });
    }
}

void PoolHelpers::finish()
{
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> guard(m_state->lock);
        m_state->closed = true;
        m_state->changed.wait(guard, [this] { return m_state->running == 0; });
        std::swap(error, m_state->error);
    }
    if (error)
        std::rethrow_exception(error);
}
