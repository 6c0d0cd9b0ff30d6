#include "imaging/save_queue.h"

#include "common/filez.h"
#include "common/worker_pool.h"
#include "imaging/picture_file.h"

#include <QFileInfo>

#include <atomic>

struct PictureSaveQueue::Job {
    SaveUnit unit;
    std::atomic<bool> taken{false};
    bool encoded = false;   // under m_lock
    QString thrown;
};

PictureSaveQueue::PictureSaveQueue(int workers)
    : m_own(workers > 0 ? std::make_unique<WorkerPool>(workers) : nullptr), m_pool(m_own ? *m_own : WorkerPool::shared())
{
    m_limit = size_t(m_pool.size()) + 1;
}

PictureSaveQueue::~PictureSaveQueue() { finish(); }

void PictureSaveQueue::encode(const std::shared_ptr<Job> &job)
{
    if (!job->taken.exchange(true))
        encodeTaken(job);
}

void PictureSaveQueue::encodeTaken(const std::shared_ptr<Job> &job)
{
    // A worker's failure, out of memory included, is this unit's reason.
    const QString thrown = WorkerPool::Guard(job->unit.encode);
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        job->thrown = thrown;
        job->encoded = true;
    }
    m_changed.notify_all();
}

void PictureSaveQueue::save(SaveUnit unit)
{
    auto job = std::make_shared<Job>();
    job->unit = std::move(unit);
    if (!job->unit.anyThread) {
        // The library's writers may show a message: they run here, in turn.
        finish();
        encode(job);
        job->unit.commit(job->thrown);
        return;
    }
    for (;;) {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            if (m_jobs.size() < m_limit) {
                m_jobs.push_back(job);
                break;
            }
        }
        commitReady(true);
    }
    if (WorkerPool::onWorker())
        encode(job);   // work on the pool waits for no other worker
    else
        // The queue waits for every unit a worker took, so it outlives the call.
        m_pool.post([this, job] {
            if (!job->taken.exchange(true))
                encodeTaken(job);
        });
    commitReady(false);
}

void PictureSaveQueue::commitReady(bool wait)
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            if (m_jobs.empty())
                return;
            job = m_jobs.front();
            if (!job->encoded && !wait)
                return;
        }
        // Nothing more is coming meanwhile: this thread encodes the oldest unit
        // itself when no worker has taken it yet, rather than wait behind busy workers.
        encode(job);
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [&] { return job->encoded; });
            m_jobs.pop_front();
        }
        // The renames and what the caller does with the outcome, outside the lock.
        job->unit.commit(job->thrown);
        wait = false;
    }
}

void PictureSaveQueue::finish()
{
    for (;;) {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            if (m_jobs.empty())
                return;
        }
        commitReady(true);
    }
}

bool PictureSaveQueue::holds(const QString &path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const auto &job : m_jobs)
        for (const QString &p : job->unit.paths)
            if (QFileInfo(p).absoluteFilePath() == target)
                return true;
    return false;
}

void PictureSaveQueue::save(const QImage &picture, const QString &path, int quality, int dpi, Done done)
{
    QImage source = picture;
    MakeBitmap24(source);
    auto file = std::make_shared<ReplacingSave>(path);
    auto written = std::make_shared<bool>(false);
    const bool direct = HasDirectWriter(path) && !source.isNull();
    SaveUnit unit;
    unit.paths = {path};
    unit.anyThread = direct;
    unit.encode = [=] {
        if (direct)
            *written = WriteDirect(*file, source, path, quality, dpi);
    };
    unit.commit = [=](const QString &thrown) {
        QString why;
        int result = -1;
        if (!direct) {
            result = SavePictureFile(picture, path, quality, dpi, nullptr, &why);
        } else if (*written && file->commit()) {
            // An older file of that name proves nothing: the save itself must have worked.
            result = QFileInfo::exists(path) ? quality : -1;
        } else {
            why = thrown.isEmpty() ? file->reason() : thrown;
        }
        m_failedError = result < 0 ? file->error() : 0;
        m_failedReason = result < 0 ? why : QString();
        if (done)
            done(result);
        m_failedError = 0;
        m_failedReason.clear();
    };
    save(std::move(unit));
}
