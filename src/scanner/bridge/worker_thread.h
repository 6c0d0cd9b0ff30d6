#pragma once
// A thread the GUI thread may stop waiting for. A call stuck inside a device
// that no longer answers (a network scanner whose server stopped) cannot be
// interrupted; it is left to return on its own, and its work holds everything
// it touches, so nothing it uses goes away underneath it.
#include <functional>

class QObject;
#include <memory>
#include <thread>

class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work);
    ~WorkerThread();  // waits for the work, unless it was abandoned
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    bool finished() const;
    // Calls done on receiver's thread once the work has returned (at once when it
    // has), unless the thread was joined or abandoned first: the waiting thread
    // hears of the end instead of asking for it. receiver must outlive the thread
    // or its abandoning.
    void whenDone(QObject *receiver, std::function<void()> done);
    void join();
    // Stops waiting: the work finishes (or not) on its own.
    void abandon();

    // Abandoned work that has not yet returned: while there is any, the SANE
    // session is in use and must not be touched from another thread.
    static int abandonedRunning();
    // Calls done on receiver's thread once no abandoned work runs (at once when
    // none does); a null receiver stops listening. One listener at a time.
    static void whenAbandonedSettled(QObject *receiver, std::function<void()> done);

    // Runs `work` on a worker and waits, without an event loop, until it
    // returns (true) or `giveUp` says to stop waiting (false: abandoned).
    static bool RunOrAbandon(std::function<void()> work, const std::function<bool()> &giveUp);

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
