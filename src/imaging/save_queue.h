#pragma once
// Saving a series of pictures on every core: each file is encoded on a worker
// while the caller makes the next picture, and put in place whole and in the
// order the pictures were handed in.
#include <QImage>
#include <QString>

#include "imaging/picture_caption.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class PictureSaveQueue {
public:
    // Gets the result SavePictureFile would have given.
    using Done = std::function<void(int result)>;

    // threads 0: one per core.
    explicit PictureSaveQueue(int threads = 0);
    ~PictureSaveQueue();
    PictureSaveQueue(const PictureSaveQueue &) = delete;
    PictureSaveQueue &operator=(const PictureSaveQueue &) = delete;

    // Saves as SavePictureFile does. A file without a writer of our own is saved
    // here and now, once every file before it is in place. Waits while enough
    // pictures are pending. Done calls run on this thread, in order, here or in finish.
    void save(const QImage &picture, const QString &path, int quality, int dpi, Done done,
              const PictureCaption *caption = nullptr);
    // Waits until every file is in place or has failed and runs the remaining done calls.
    void finish();
    // Whether a file for path was handed in and is not yet reported.
    bool holds(const QString &path);
    // Inside a done call of a failed file: the system's error (errno) that failed
    // it, 0 when unknown, and what failed and why in Dutch, empty when unknown.
    int failedError() const { return m_failedError; }
    QString failedReason() const { return m_failedReason; }

private:
    struct Job;
    void work();
    // Encodes the oldest job no thread has taken, unlocking meanwhile; false when there is none.
    bool encodeWaiting(std::unique_lock<std::mutex> &guard);
    void commitReady();   // with m_lock held
    void report();        // runs the done calls of committed jobs

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Job>> m_jobs;      // handed in, not yet reported
    std::deque<std::shared_ptr<Job>> m_waiting;   // not yet taken by a worker
    size_t m_limit;                               // pending pictures held at most
    bool m_stop = false;
    int m_failedError = 0;
    QString m_failedReason;
    std::vector<std::thread> m_workers;
};
