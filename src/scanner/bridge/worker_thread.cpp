#include "scanner/bridge/worker_thread.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <mutex>

namespace {
std::atomic<int> g_abandoned{0};

// Who hears that no abandoned work runs any more.
struct Settled {
    std::mutex mutex;
    QObject *receiver = nullptr;
    std::function<void()> done;

    // Under mutex.
    void tell()
    {
        if (receiver)
            QMetaObject::invokeMethod(receiver, done, Qt::QueuedConnection);
        receiver = nullptr;
    }
} g_settled;
}

struct WorkerThread::State {
    std::mutex mutex;
    bool done = false;
    bool abandoned = false;
    QObject *receiver = nullptr;   // told of the end, while set
    std::function<void()> whenDone;

    // Under mutex.
    void tell()
    {
        if (receiver)
            QMetaObject::invokeMethod(receiver, whenDone, Qt::QueuedConnection);
        receiver = nullptr;
    }
};

WorkerThread::WorkerThread(std::function<void()> work) : m_state(std::make_shared<State>())
{
    m_thread = std::thread([state = m_state, work = std::move(work)]() mutable {
        work();
        work = nullptr;  // what the work held (a device, the session) goes before it counts as returned
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
        state->tell();
        if (state->abandoned && --g_abandoned == 0) {
            std::lock_guard<std::mutex> settled(g_settled.mutex);
            g_settled.tell();
        }
    });
}

void WorkerThread::whenDone(QObject *receiver, std::function<void()> done)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->receiver = receiver;
    m_state->whenDone = std::move(done);
    if (m_state->done)
        m_state->tell();
}

WorkerThread::~WorkerThread() { join(); }

bool WorkerThread::finished() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->done;
}

void WorkerThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->receiver = nullptr;
}

void WorkerThread::abandon()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->receiver = nullptr;
        if (!m_state->done) {
            m_state->abandoned = true;
            ++g_abandoned;
        }
    }
    m_thread.detach();
}

int WorkerThread::abandonedRunning() { return g_abandoned.load(); }

void WorkerThread::whenAbandonedSettled(QObject *receiver, std::function<void()> done)
{
    std::lock_guard<std::mutex> lock(g_settled.mutex);
    g_settled.receiver = receiver;
    g_settled.done = std::move(done);
    if (g_abandoned.load() == 0)
        g_settled.tell();
}

bool WorkerThread::RunOrAbandon(std::function<void()> work, const std::function<bool()> &giveUp)
{
    WorkerThread worker(std::move(work));
    while (!worker.finished()) {
        if (giveUp()) {
            worker.abandon();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    return true;
}
