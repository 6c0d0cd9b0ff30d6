#pragma once
// The last scan, read beside the window at start-up: the window shows at once,
// whatever the file holds, and hears how the reading went when it is done.
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

struct LastScan {
    QImage picture;   // null when it could not be read (or was not asked for)
    QString why;      // the notice when it could not be shown; empty otherwise
};

class LastScanReader : public QObject {
    Q_OBJECT
public:
    // Waits for path up to four seconds (a restart may still be writing it) and,
    // when show, reads it; shown then gets the result on the window's thread.
    LastScanReader(const QString &path, bool show, std::function<void(const LastScan &)> shown,
                   QObject *parent);
    ~LastScanReader() override;   // waits for the reading; a result not yet handed over is dropped

    // Done and handed over (or dropped).
    bool settled() const { return m_settled; }
    // The window closes: what is still to come is dropped.
    void finish();

private:
    std::function<void(const LastScan &)> m_shown;
    std::atomic<bool> m_stop{false};
    bool m_settled = false;
    std::thread m_thread;
};

// Reads the last scan at path; a damaged file is removed, with the reason in why.
LastScan ReadLastScan(const QString &path);
