#pragma once
// Saving a series on the worker pool: each unit (a card's files, or one
// picture) is encoded to hidden temporaries on a worker while the caller makes
// the next, then put in place whole, on the caller's thread and in the order
// the units were handed in.
#include <QImage>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class WorkerPool;

struct SaveUnit {
    // Writes the temporaries; on a worker when anyThread, else on the caller's thread.
    std::function<void()> encode;
    // Puts them in place and tells what became of them, on the caller's thread,
    // in order. thrown: the Dutch reason encode threw with, empty when it ran through.
    std::function<void(const QString &thrown)> commit;
    QStringList paths;   // the files it writes, for holds()
    bool anyThread = true;
};

class PictureSaveQueue {
public:
    // Gets the result SavePictureFile would have given.
    using Done = std::function<void(int result)>;

    // workers 0: on the program's shared pool, else on a pool of its own of that
    // many (for measuring). Holds as many units unfinished as the pool has
    // workers, and one more.
    explicit PictureSaveQueue(int workers = 0);
    ~PictureSaveQueue();   // finish()
    PictureSaveQueue(const PictureSaveQueue &) = delete;
    PictureSaveQueue &operator=(const PictureSaveQueue &) = delete;

    // Hands unit in. Waits while enough units are unfinished, committing those
    // ready meanwhile; a unit that cannot run on a worker is encoded here once
    // every unit before it is in place.
    void save(SaveUnit unit);
    // One picture as SavePictureFile saves it, as a unit.
    void save(const QImage &picture, const QString &path, int quality, int dpi, Done done);
    // Waits until every unit is committed, encoding meanwhile what no worker took yet.
    void finish();
    // Whether a unit that writes path was handed in and is not yet committed.
    bool holds(const QString &path);
    // Inside a done call of a failed picture: the system's error (errno) that
    // failed it, 0 when unknown, and what failed and why in Dutch.
    int failedError() const { return m_failedError; }
    QString failedReason() const { return m_failedReason; }

private:
    struct Job;
    // Runs the encode of a job this thread took.
    void encodeTaken(const std::shared_ptr<Job> &job);
    void encode(const std::shared_ptr<Job> &job);   // unless another thread took it
    // Commits the oldest units that are encoded, in order; with wait, waits for the oldest first.
    void commitReady(bool wait);

    std::unique_ptr<WorkerPool> m_own;
    WorkerPool &m_pool;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Job>> m_jobs;   // handed in, not yet committed
    size_t m_limit;
    int m_failedError = 0;
    QString m_failedReason;
};
