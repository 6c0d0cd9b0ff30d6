// A scanner on the network: saned serving SANE's `test` backend on the
// loopback address, reached through SANE's `net` backend, as the library
// meets it. The server is killed, stopped and slowed on purpose; the window
// must keep answering and no half picture may be left. Run in a network
// namespace of its own (see own_network.sh) so runs side by side never meet.
#include "fake_sane.h"
#include "sane_test_config.h"
#include "scanner/bridge/bridge.h"
#include "scanner/bridge/worker_thread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char *const kNetName = "net:127.0.0.1:test:0";
// Short bounds on waiting for a silent server, so stopping it costs seconds.
const int kOpenBoundMs = 1500;
const int kStallMs = 1000;

// saned in a process group of its own, so that the child serving a
// connection is killed or stopped with it.
class Saned {
public:
    explicit Saned(QString configDir) : m_dir(std::move(configDir)) {}
    ~Saned() { stop(); }

    // Empty when it listens on 127.0.0.1; else why not.
    QString start()
    {
        m_proc = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SANE_CONFIG_DIR", m_dir);
        m_proc->setProcessEnvironment(env);
        // Its own process group; and it goes when this test program goes, however.
        m_proc->setChildProcessModifier([] {
            ::setsid();
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        m_proc->start(SANED, {"-l", "-e", "-b", "127.0.0.1"});
        if (!m_proc->waitForStarted(5000))
            return "saned does not start: " + m_proc->errorString();
        for (int i = 0; i < 100; ++i) {
            if (listening())
                return {};
            if (m_proc->waitForFinished(100))
                break;  // it ended: the address or port was refused
        }
        const QString why = QString::fromLocal8Bit(m_proc->readAllStandardError()).trimmed();
        stop();
        return "saned cannot listen on 127.0.0.1 port 6566: " + why;
    }
    void signal(int sig)
    {
        if (m_proc && m_proc->processId() > 0)
            ::kill(-pid_t(m_proc->processId()), sig);
    }
    // The listening server only: the processes serving connections stay as they are.
    void signalListener(int sig)
    {
        if (m_proc && m_proc->processId() > 0)
            ::kill(pid_t(m_proc->processId()), sig);
    }
    void stop()
    {
        if (!m_proc)
            return;
        signal(SIGCONT);
        signal(SIGKILL);
        m_proc->waitForFinished(10000);
        m_proc.reset();
    }

private:
    // A listening socket on 127.0.0.1:6566 in this network namespace.
    static bool listening()
    {
        const QList<QByteArray> lines = readAll("/proc/net/tcp").split('\n');
        for (const QByteArray &l : lines) {
            const QList<QByteArray> f = l.simplified().split(' ');
            if (f.size() > 3 && f[1] == "0100007F:19A6" && f[3] == "0A")
                return true;
        }
        return false;
    }

    QString m_dir;
    std::unique_ptr<QProcess> m_proc;
};

// Waits, handling events, until `done` or about `ms` milliseconds.
template <typename F>
bool waitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        ::usleep(10000);
    }
    return done();
}

QProgressDialog *progressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->isVisible())
            return d;
    return nullptr;
}

class SaneNet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        const QString server = s_dir->filePath("server"), client = SaneConfigFolder();
        WriteTestBackendConfig(server, "test\n");
        writeAll(server + "/saned.conf", "127.0.0.1\n");
        // The client also carries `test`, for the same scan in process.
        WriteTestBackendConfig(client, "net\ntest\n");
        writeAll(client + "/net.conf", "127.0.0.1\n");
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        const QString why = saned.start();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        bridge.setSourceFile(dir.filePath("eztw32.ini"));
        bridge.rememberSource(kNetName);
        bridge.setHideUI(1);
        bridge.setOpenBoundMs(kOpenBoundMs);
        bridge.setNoticeSink([this](const QString &t) {
            notices << t;
            if (!noticeAt.isValid())
                noticeAt.start();
        });
        writeAll(target, "the picture of the scan before");
    }
    void TearDown() override
    {
        saned.signal(SIGCONT);
        // An abandoned call returns once its server answers or is gone.
        EXPECT_TRUE(waitFor([] { return WorkerThread::abandonedRunning() == 0; }, 30000));
    }

    // Options of the open device, by name.
    void set(const char *name, const char *value)
    {
        ASSERT_EQ(ApplyOption(*bridge.device(), name, value), SANE_STATUS_GOOD) << name;
    }
    // A scan slow enough to be caught in the middle: some 2 MB, and the
    // backend waits 0.2 s after each 64 KB it passes on.
    void slowScan()
    {
        ASSERT_EQ(bridge.openDefaultSource(), 1);
        set("mode", "Color");
        set("resolution", "100");
        set("br-x", "200");
        set("br-y", "200");
        set("enable-test-options", "yes");
        set("read-delay", "yes");
        set("read-delay-duration", "200000");
    }
    // Acts once the scan has delivered something, then returns what acquire did.
    int acquireAndInMidScan(const std::function<void(QProgressDialog &)> &act)
    {
        QTimer watch;
        bool acted = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QProgressDialog *d = progressDialog();
            if (!acted && d && d->value() > 0) {
                acted = true;
                act(*d);
            }
        });
        watch.start(10);
        const int ok = bridge.acquireToFilename(nullptr, target.toUtf8().constData());
        EXPECT_TRUE(acted) << "the scan ended before it could be interrupted";
        return ok;
    }
    // Nothing but the old picture and the remembered source in the folder.
    void expectNothingLeft()
    {
        EXPECT_EQ(readAll(target), "the picture of the scan before");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"eztw32.ini", "preview.bmp"}));
    }
    // A scan as the window asks for one: open, then acquire.
    void expectNextScanWorks()
    {
        EXPECT_EQ(bridge.openDefaultSource(), 1) << notices.join("; ").toStdString();
        EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 1)
            << notices.join("; ").toStdString();
        EXPECT_FALSE(QImage(target).isNull());
    }
    void clickAnnuleren(QProgressDialog &d)
    {
        for (QPushButton *b : d.findChildren<QPushButton *>())
            if (b->text() == "Annuleren")
                b->click();
    }
    static void report(const char *what, qint64 ms) { std::printf("[ measured ] %s: %lld ms\n", what, (long long)ms); }

    static QTemporaryDir *s_dir;
    Saned saned{s_dir->filePath("server")};
    QTemporaryDir dir;
    QString target = dir.filePath("preview.bmp");
    Bridge bridge;
    QStringList notices;
    QElapsedTimer noticeAt;
};

QTemporaryDir *SaneNet::s_dir = nullptr;

} // namespace

TEST_F(SaneNet, NetworkScanGivesTheSamePixelsAsInProcess)
{
    for (const char *mode : {"Color", "Gray"}) {
        SCOPED_TRACE(mode);
        QImage local;
        {
            std::unique_ptr<SaneDevice> dev;
            ASSERT_EQ(bridge.backend().open("test:0", dev), SANE_STATUS_GOOD);
            ASSERT_EQ(SetStringOption(*dev, "mode", mode), SANE_STATUS_GOOD);
            ScanControl control;
            const ScanOutcome o = RunScan(*dev, control);
            ASSERT_EQ(o.kind, ScanOutcome::Done) << o.message.toStdString();
            local = o.image.convertToFormat(QImage::Format_RGB32);
        }
        ASSERT_EQ(bridge.openDefaultSource(), 1);
        set("mode", mode);
        ASSERT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 1) << notices.join("; ").toStdString();
        const QImage remote = QImage(target).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(remote.size(), local.size());
        EXPECT_GT(local.width() * local.height(), 100);
        EXPECT_TRUE(remote == local);
    }
}

TEST_F(SaneNet, ServerKilledMidScanIsExplainedAndTheNextScanWorks)
{
    slowScan();
    QElapsedTimer killedAt;
    EXPECT_EQ(acquireAndInMidScan([&](QProgressDialog &) {
                  saned.signal(SIGKILL);
                  killedAt.start();
              }),
              0);
    ASSERT_EQ(notices.size(), 1);
    report("killed server to notice", killedAt.elapsed() - noticeAt.elapsed());
    EXPECT_TRUE(notices[0].contains("Er is geen scan opgeslagen")) << notices[0].toStdString();
    expectNothingLeft();

    notices.clear();
    saned.stop();
    ASSERT_EQ(saned.start(), QString());
    expectNextScanWorks();
}

TEST_F(SaneNet, StalledServerScanEndsOnAnnuleren)
{
    slowScan();
    int ticks = 0, ticksStalled = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    QElapsedTimer cancelledAt;
    const int ok = acquireAndInMidScan([&](QProgressDialog &d) {
        saned.signal(SIGSTOP);
        // A while stalled, then the user gives up.
        QTimer::singleShot(600, &d, [&, dlg = &d] {
            ticksStalled = ticks;
            cancelledAt.start();
            for (QPushButton *b : dlg->findChildren<QPushButton *>())
                if (b->text() == "Annuleren")
                    b->click();
        });
    });
    report("Annuleren to closed dialog", cancelledAt.elapsed());
    EXPECT_EQ(ok, 0);
    EXPECT_GT(ticksStalled, 10);  // the window kept answering while the device stalled
    EXPECT_EQ(progressDialog(), nullptr);
    EXPECT_TRUE(notices.isEmpty()) << notices.join("; ").toStdString();
    expectNothingLeft();

    // Once the server answers again, whatever was left behind ends and scanning works.
    saned.signal(SIGCONT);
    ASSERT_TRUE(waitFor([] { return WorkerThread::abandonedRunning() == 0; }, 30000));
    expectNextScanWorks();
}

TEST_F(SaneNet, ScannerListWhileTheServerHangsCanBeCancelled)
{
    saned.signal(SIGSTOP);
    QString shown;
    QElapsedTimer cancelledAt;
    WhenShown("sourceDialog", [&](QDialog &d) {
        QTimer::singleShot(500, &d, [&, dlg = &d] {
            shown = dlg->findChild<QLabel *>("searchStatus")->text();
            cancelledAt.start();
            dlg->reject();
        });
    });
    EXPECT_EQ(bridge.selectImageSource(nullptr), 0);
    report("Annuleren to closed scanner list", cancelledAt.elapsed());
    EXPECT_EQ(shown, QStringLiteral("Scanners zoeken…"));
    // While the server still hangs, a scan gives up on it and says why.
    EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("antwoordt niet")) << notices[0].toStdString();
    expectNothingLeft();
}

TEST_F(SaneNet, OpeningWhileTheServerHangsCanBeCancelled)
{
    saned.signal(SIGSTOP);
    QElapsedTimer cancelledAt;
    WhenShown("waitDialog", [&](QDialog &d) {
        QTimer::singleShot(300, &d, [&, dlg = &d] {
            cancelledAt.start();
            static_cast<QProgressDialog *>(dlg)->cancel();
        });
    });
    EXPECT_EQ(bridge.openDefaultSource(), 0);
    report("Annuleren to closed wait for the scanner", cancelledAt.elapsed());
    EXPECT_EQ(progressDialog(), nullptr);
    EXPECT_TRUE(notices.isEmpty()) << notices.join("; ").toStdString();

    saned.signal(SIGCONT);
    ASSERT_TRUE(waitFor([] { return WorkerThread::abandonedRunning() == 0; }, 30000));
    expectNextScanWorks();
}

TEST_F(SaneNet, RememberedScannerThatIsGoneGivesANoticeAndTheList)
{
    saned.stop();
    bool listed = false;
    WhenShown("sourceDialog", [&](QDialog &d) {
        listed = true;
        d.reject();
    });
    EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    EXPECT_TRUE(listed);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(kNetName)) << notices[0].toStdString();
    expectNothingLeft();
}

// A server that stops answering, while the scanner opens or in the middle of
// a scan: each wait ends by itself within its bound, with or without a window
// to offer "Annuleren", says why with SANE's status and leaves no file; once
// the server answers again a scan works.
TEST_F(SaneNet, SilentServerEndsEveryWaitByItself)
{
    bridge.setTuning([](ScanControl &c) { c.stallTimeoutMs = kStallMs; });
    std::atomic<ScanControl *> running{nullptr};
    bridge.setScanStartHook([&](ScanControl &c, SaneDevice &) { running = &c; });
    const struct {
        bool midScan, window;
        const char *words;
    } cases[] = {{false, true, "het openen is na 2 seconden afgebroken"},
                 {false, false, "het openen is na 2 seconden afgebroken"},
                 {true, true, "al 1 seconden geen gegevens meer"},
                 {true, false, "al 1 seconden geen gegevens meer"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.midScan ? "mid-scan" : "opening") + (c.window ? ", window" : ", no window"));
        notices.clear();
        running = nullptr;
        bridge.endSession();  // each case opens the scanner anew
        if (c.midScan)
            slowScan();
        else
            saned.signal(SIGSTOP);
        QElapsedTimer took;
        took.start();
        int ok = -1;
        if (c.window && c.midScan) {
            ok = acquireAndInMidScan([&](QProgressDialog &) { saned.signal(SIGSTOP); });
        } else if (c.window) {
            // As the window asks: open, then scan; one wait and one notice.
            ok = bridge.openDefaultSource() + bridge.acquireToFilename(nullptr, target.toUtf8().constData());
        } else {
            // No window: the library called from a thread without events.
            std::atomic<bool> returned{false};
            std::thread caller([&] {
                ok = bridge.acquireToFilename(nullptr, target.toUtf8().constData());
                returned = true;
            });
            while (c.midScan && !returned && !(running.load() && running.load()->permille.load() > 0))
                ::usleep(1000);
            if (c.midScan)
                saned.signal(SIGSTOP);
            caller.join();
        }
        report(c.midScan ? "silent server in mid-scan to notice" : "silent server while opening to notice", took.elapsed());
        EXPECT_EQ(ok, 0);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(c.words)) << notices[0].toStdString();
        EXPECT_TRUE(notices[0].contains("SANE_STATUS_IO_ERROR")) << notices[0].toStdString();
        EXPECT_EQ(progressDialog(), nullptr);
        expectNothingLeft();

        saned.signal(SIGCONT);
        notices.clear();
        expectNextScanWorks();
        writeAll(target, "the picture of the scan before");
    }
}

// The server comes back, but the connection the scan was cancelled on stays
// hung for good (its serving process stays stopped): a later scan must not
// wait on that connection.
TEST_F(SaneNet, AfterAnnulerenOnAHungConnectionTheNextScanWorks)
{
    slowScan();
    EXPECT_EQ(acquireAndInMidScan([&](QProgressDialog &d) {
                  saned.signal(SIGSTOP);
                  QTimer::singleShot(300, &d, [this, dlg = &d] { clickAnnuleren(*dlg); });
              }),
              0);
    EXPECT_TRUE(notices.isEmpty()) << notices.join("; ").toStdString();
    saned.signalListener(SIGCONT);
    expectNextScanWorks();
}

TEST_F(SaneNet, ScannerListGivesUpOnASilentServerByItself)
{
    saned.signal(SIGSTOP);
    QString shown;
    WhenSearched(shown, [](QDialog &d) { d.reject(); });
    EXPECT_EQ(bridge.selectImageSource(nullptr), 0);
    EXPECT_TRUE(shown.contains("mislukt (er antwoordt geen scanner); alleen de voorbeeldscanner")) << shown.toStdString();
    saned.signal(SIGCONT);
    expectNextScanWorks();
}

// As at the program's end: closing the scanner does not wait on a server that stopped.
TEST_F(SaneNet, EndingTheSessionDoesNotWaitForASilentServer)
{
    ASSERT_EQ(bridge.openDefaultSource(), 1);
    saned.signal(SIGSTOP);
    QElapsedTimer took;
    took.start();
    bridge.endSession();
    report("ending the session with a silent server", took.elapsed());
    saned.signal(SIGCONT);
    expectNextScanWorks();
}

// A server that takes no connections (its queue full, as on a host that
// drops them): SANE itself gives up making the connection, so nothing of the
// given-up call stays behind, and a scan works once a server is back.
TEST_F(SaneNet, UnreachableServerLeavesNoCallBehind)
{
    saned.stop();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(6566);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr *>(&at), sizeof at);
    }
    ::usleep(300000);

    EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("antwoordt niet")) << notices[0].toStdString();
    expectNothingLeft();
    EXPECT_TRUE(waitFor([] { return WorkerThread::abandonedRunning() == 0; }, 30000));

    for (int fd : queued)
        ::close(fd);
    ::close(listener);
    notices.clear();
    ASSERT_EQ(saned.start(), QString());
    expectNextScanWorks();
}
