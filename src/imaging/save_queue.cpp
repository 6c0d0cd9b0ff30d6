#include "imaging/save_queue.h"

#include "codec/free_bitmap.h"
#include "common/filez.h"
#include "imaging/picture_file.h"

#include <QFileInfo>

struct PictureSaveQueue::Job {
    QImage picture;
    QString path;
    int quality = 0, dpi = 0;
    Done done;
    PictureCaption caption;
    bool captionFailed = false;
    std::unique_ptr<ReplacingSave> file;
    bool encoded = false, written = false, committed = false;
    int result = -1;
    int error = 0;    // the system's error of a failure
    QString reason;   // and what failed, in Dutch
};

PictureSaveQueue::PictureSaveQueue(int threads)
{
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    m_limit = size_t(threads) + 1;
    for (int i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

PictureSaveQueue::~PictureSaveQueue()
{
    finish();
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread &t : m_workers)
        t.join();
}

void PictureSaveQueue::save(const QImage &picture, const QString &path, int quality, int dpi, Done done,
                             const PictureCaption *caption)
{
    QImage source = picture;
    MakeBitmap24(source);
    if (!HasDirectWriter(path) || source.isNull()) {
        // The library's writers may show a message: they run here, in turn.
        finish();
        QString why;
        const int result = SavePictureFile(picture, path, quality, dpi, caption, &why);
        m_failedReason = result < 0 ? why : QString();
        if (done)
            done(result);
        m_failedReason.clear();
        return;
    }
    auto job = std::make_shared<Job>();
    job->picture = source;
    job->path = path;
    job->quality = quality;
    job->dpi = dpi;
    job->done = std::move(done);
    if (caption)
        job->caption = *caption;
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] {
            size_t pending = 0;
            for (const auto &j : m_jobs)
                pending += !j->committed;
            return pending < m_limit;
        });
        m_jobs.push_back(job);
        m_waiting.push_back(job);
    }
    m_changed.notify_all();
    report();
}

void PictureSaveQueue::finish()
{
    {
        // Nothing more is coming: this thread encodes what no worker has taken yet
        // rather than wait, so the last cards do not queue behind the busy workers.
        std::unique_lock<std::mutex> guard(m_lock);
        while (!m_jobs.empty() && !m_jobs.back()->committed)
            if (!encodeWaiting(guard))
                m_changed.wait(guard);
    }
    report();
}

bool PictureSaveQueue::holds(const QString &path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const auto &job : m_jobs)
        if (QFileInfo(job->path).absoluteFilePath() == target)
            return true;
    return false;
}

void PictureSaveQueue::work()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [this] { return m_stop || !m_waiting.empty(); });
        if (!encodeWaiting(guard))
            return;
    }
}

bool PictureSaveQueue::encodeWaiting(std::unique_lock<std::mutex> &guard)
{
    if (m_waiting.empty())
        return false;
    const std::shared_ptr<Job> job = m_waiting.front();
    m_waiting.pop_front();
    guard.unlock();
    auto file = std::make_unique<ReplacingSave>(job->path);
    const bool written = WriteDirect(*file, job->picture, job->path, job->quality, job->dpi);
    // The picture is whole either way; a caption that could not be added is logged on report.
    const bool captionFailed = written && !job->caption.isEmpty()
                               && !WritePictureCaption(file->temporaryPath(), job->caption);
    guard.lock();
    job->picture = QImage();
    job->file = std::move(file);
    job->written = written;
    job->captionFailed = captionFailed;
    job->encoded = true;
    commitReady();
    m_changed.notify_all();
    return true;
}

void PictureSaveQueue::commitReady()
{
    // Files appear in the order they were handed in: each waits for the ones before.
    for (const auto &job : m_jobs) {
        if (job->committed)
            continue;
        if (!job->encoded)
            return;
        const bool saved = job->written && job->file->commit();
        job->error = job->file->error();
        job->reason = job->file->reason();
        job->file.reset();
        // An older file of that name proves nothing: the save itself must have worked.
        job->result = saved && QFileInfo::exists(job->path) ? job->quality : -1;
        job->committed = true;
    }
}

void PictureSaveQueue::report()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            if (m_jobs.empty() || !m_jobs.front()->committed)
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
        }
        m_changed.notify_all();
        if (job->captionFailed)
            LogText(QStringLiteral("Bijschrift niet in ") + job->path + QStringLiteral(" geschreven"));
        m_failedError = job->result < 0 ? job->error : 0;
        m_failedReason = job->result < 0 ? job->reason : QString();
        if (job->done)
            job->done(job->result);
        m_failedError = 0;
        m_failedReason.clear();
    }
}
