#include "app/single_instance.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {
// A first copy on a thread of its own, as another process would be; answering
// later starts only while it runs its loop.
class FirstCopy {
public:
    FirstCopy(const QString &folder, bool answers)
    {
        m_thread.reset(QThread::create([this, folder, answers] {
            SingleInstance first(folder);
            QObject::connect(&first, &SingleInstance::raiseRequested, [this] { ++raised; });
            claimed = first.claim() ? 1 : -1;
            QEventLoop loop;
            while (!stop) {
                if (answers)
                    loop.processEvents(QEventLoop::AllEvents, 10);
                else
                    QThread::msleep(10);   // busy ending: no answers, the lock still held
            }
        }));
        m_thread->start();
        while (claimed == 0)
            QThread::yieldCurrentThread();
    }
    ~FirstCopy() { end(); }
    void end()
    {
        stop = true;
        m_thread->wait();
    }
    std::atomic<int> claimed{0}, raised{0};
    std::atomic<bool> stop{false};

private:
    std::unique_ptr<QThread> m_thread;
};
}

TEST(SingleInstance, ALaterStartStandsBackAndBringsTheFirstForward_OrTakesOverFromOneThatIsEnding)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    {
        FirstCopy first(folder, true);
        ASSERT_EQ(first.claimed, 1);
        EXPECT_EQ(int(QFileInfo(folder + "kvnscan.lock").permissions()) & 0x0077, 0);   // no one else's
        for (int later = 1; later <= 2; ++later) {
            SingleInstance again(folder);
            EXPECT_FALSE(again.claim());
            EXPECT_EQ(first.raised, later);
        }
    }
    // A restart: the old copy, on its way out, answers nothing and then lets go.
    FirstCopy ending(folder, false);
    ASSERT_EQ(ending.claimed, 1);
    QThread *leaving = QThread::create([&] { QThread::msleep(300); ending.end(); });
    leaving->start();
    SingleInstance next(folder);
    EXPECT_TRUE(next.claim());
    leaving->wait();
    delete leaving;
}
