#include "scanner/bridge/bridge.h"

#include "common/worker_pool.h"
#include "scanner/bridge/bmp_writer.h"
#include "scanner/bridge/net_guard.h"
#include "scanner/bridge/options_dialog.h"
#include "scanner/bridge/progress.h"
#include "scanner/bridge/source_dialog.h"
#include "scanner/bridge/virtual_scanner.h"
#include "scanner/bridge/worker_thread.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopeGuard>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <dlfcn.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

namespace {

// A GUI can be shown only from the thread of a QApplication.
bool guiHere()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

bool eventLoopHere()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Backends are loaded after the bridge is made, so at process exit their own
// statics are destroyed before the bridge: end the session while the
// application object goes away instead, with every library still intact.
Bridge *g_instance = nullptr;
bool g_endRegistered = false;

void endSessionBeforeExit()
{
    g_endRegistered = false;
    if (g_instance)
        g_instance->endSession();
}

} // namespace

QString OwnFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&OwnFolder), &info) && info.dli_fname) {
        const QString dir = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
        return dir.endsWith('/') ? dir : dir + '/';
    }
    return QStringLiteral("./");
}

Bridge::Bridge() : m_factory(MakeRealSaneBackend), m_sourceFile(OwnFolder() + QStringLiteral("eztw32.ini")) {}

Bridge::~Bridge()
{
    if (this == g_instance) {
        qRemovePostRoutine(endSessionBeforeExit);
        g_instance = nullptr;
    }
    endSession();
}

void Bridge::endSession()
{
    m_deviceName.clear();
    if (!m_device && !m_backend)
        return;
    // Closing a network scanner and ending the session tell its server, which
    // may not answer: a moment's wait, then the connection is cut.
    auto end = [device = std::move(m_device), session = std::move(m_backend)]() mutable {
        device.reset();  // close before the backend ends its session
        session.reset();
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    if (!WorkerThread::RunOrAbandon(std::move(end), [deadline] { return std::chrono::steady_clock::now() >= deadline; }))
        CutServerConnections();
}

Bridge &Bridge::instance()
{
    static Bridge bridge;
    g_instance = &bridge;
    return bridge;
}

void Bridge::setBackendFactory(BackendFactory f)
{
    m_device.reset();
    m_deviceName.clear();
    m_backend.reset();
    m_factory = std::move(f);
}

void Bridge::setSourceFile(const QString &path) { m_sourceFile = path; }
void Bridge::setNoticeSink(NoticeSink sink) { m_sink = std::move(sink); }

SaneBackend &Bridge::backend()
{
    if (!m_backend) {
        OfferConnectTimeout(openBoundMs());
        m_backend = m_factory();
        if (this == g_instance && !g_endRegistered && QCoreApplication::instance()) {
            g_endRegistered = true;
            qAddPostRoutine(endSessionBeforeExit);
        }
    }
    return *m_backend;
}

void Bridge::registerApp(const char *product)
{
    if (product && *product)
        m_product = QString::fromUtf8(product);
}

QString Bridge::rememberedSource() const
{
    QFile f(m_sourceFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = QStringLiteral("source=");
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

void Bridge::rememberSource(const QString &name)
{
    QFile f(m_sourceFile);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(("source=" + name + "\n").toUtf8());
}

void Bridge::failed(const char *what, const std::exception_ptr &error) noexcept
{
    try {
        const QString text = QStringLiteral("De scanner kon niet worden bediend (%1): %2.")
                                 .arg(QString::fromUtf8(what), WorkerPool::Reason(error));
        std::fprintf(stderr, "eztw32: %s\n", text.toLocal8Bit().constData());
        instance().notice(text);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "eztw32: %s\n", e.what());   // nothing more can be told
    }
}

void Bridge::notice(const QString &text)
{
    if (m_sink) {
        m_sink(text);
    } else if (guiHere()) {
        QMessageBox::warning(QApplication::activeWindow(), m_product, text);
    } else {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

int Bridge::openBoundMs() const { return m_openBoundMs > 0 ? m_openBoundMs : NetworkOpenBoundMs(); }

// A scanner attached to this computer may take its time; one on the network
// may have a server that accepted the connection and will never answer.
int Bridge::networkBoundMs(const QString &device) const
{
    return device.startsWith(QLatin1String("net:")) ? openBoundMs() : 0;
}

void Bridge::giveUpSession()
{
    m_device.reset();
    m_deviceName.clear();
    m_backend.reset();
    CutServerConnections();
}

// A call abandoned after a cancel or a time-out still runs inside SANE, and
// nothing else may enter SANE until it returns. Its session was given up:
// cut loose from a server that does not answer, it returns in a moment.
bool Bridge::abandonedSettled()
{
    if (WorkerThread::abandonedRunning() == 0)
        return true;
    giveUpSession();
    if (!eventLoopHere()) {
        for (int waited = 0; waited < 2000 && WorkerThread::abandonedRunning() > 0; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return WorkerThread::abandonedRunning() == 0;
    }
    // The window paints meanwhile; its input waits, as for any call into the scanner.
    QEventLoop loop;
    WorkerThread::whenAbandonedSettled(&loop, [&loop] { loop.quit(); });
    QTimer::singleShot(2000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    WorkerThread::whenAbandonedSettled(nullptr, {});
    return WorkerThread::abandonedRunning() == 0;
}

bool Bridge::saneStillBusy()
{
    if (abandonedSettled())
        return false;
    notice(QStringLiteral("De scanner reageert nog niet op het afbreken van de vorige opdracht. "
                          "Wacht even en probeer het dan opnieuw."));
    return true;
}

bool Bridge::chooseSource()
{
    if (saneStillBusy())
        return false;
    backend();
    QString chosen;
    const int stuckBefore = WorkerThread::abandonedRunning();
    const bool picked = RunSourceDialog(m_backend, rememberedSource(), m_product, chosen, openBoundMs());
    if (WorkerThread::abandonedRunning() > stuckBefore)
        giveUpSession();  // the search still waits on a server: let it go
    if (!picked)
        return false;
    rememberSource(chosen);
    if (m_deviceName != chosen) {
        m_device.reset();
        m_deviceName.clear();
    }
    return true;
}

int Bridge::selectImageSource(void *)
{
    if (!guiHere() || m_busy)
        return 0;
    m_busy = true;
    const auto notBusy = qScopeGuard([this] { m_busy = false; });
    m_openGaveUpAt = {};
    return chooseSource() ? 1 : 0;
}

Bridge::Attempt Bridge::untilReturned(const QString &label, const QString &timedOut, int bound,
                                      std::function<void(SaneBackend &)> call)
{
    if (!abandonedSettled())
        return Attempt::SaneBusy;
    backend();
    // The work holds the session, as it may outlive this call; what the call
    // holds (a device it opened) goes before the session ends.
    struct Held {
        std::shared_ptr<SaneBackend> session;
        std::function<void(SaneBackend &)> call;
    };
    auto work = [held = Held{m_backend, std::move(call)}] { held.call(*held.session); };
    // A server may accept the connection and never answer: bounded, with or without a window.
    WaitEnd end = WaitEnd::Returned;
    if (eventLoopHere()) {
        end = WaitWhileProcessingEvents(std::move(work), guiHere(), label, m_product, bound);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound);
        const auto late = [bound, deadline] { return bound > 0 && std::chrono::steady_clock::now() >= deadline; };
        if (!WorkerThread::RunOrAbandon(std::move(work), late))
            end = WaitEnd::TimedOut;
    }
    if (end == WaitEnd::Returned)
        return Attempt::Done;
    // The session stays with the abandoned call: the next call starts a new one.
    giveUpSession();
    if (end == WaitEnd::Cancelled)
        return Attempt::Cancelled;
    notice(timedOut.arg((bound + 999) / 1000)
           + QStringLiteral(" (SANE-status: %1).\nEr is geen scan gemaakt.").arg(StatusName(SANE_STATUS_IO_ERROR)));
    return Attempt::TimedOut;
}

Bridge::Attempt Bridge::openNamed(const QString &name)
{
    m_device.reset();
    m_deviceName.clear();
    m_openStatus = SANE_STATUS_GOOD;
    std::unique_ptr<SaneDevice> dev;
    if (name == QLatin1String(kVirtualScannerName)) {
        dev = OpenVirtualScanner();
        if (dev && m_resolution > 0)
            SetNumericOption(*dev, SANE_NAME_SCAN_RESOLUTION, m_resolution);
    } else {
        // Opening a network scanner waits for its server, which may never answer.
        // The resolution asked for is set in the same call, for the same reason.
        auto opened = std::make_shared<std::unique_ptr<SaneDevice>>();
        auto status = std::make_shared<std::atomic<SANE_Status>>(SANE_STATUS_GOOD);
        const std::string wanted = name.toStdString();
        const Attempt waited = untilReturned(QStringLiteral("Scanner \"%1\" openen…").arg(name),
                                             QStringLiteral("De scanner \"%1\" antwoordt niet; het openen is na %2 "
                                                            "seconden afgebroken").arg(name, "%1"),
                                             networkBoundMs(name), [opened, status, wanted, dpi = m_resolution](SaneBackend &session) {
                                                 const SANE_Status s = session.open(wanted, *opened);
                                                 if (s != SANE_STATUS_GOOD || !*opened) {
                                                     *status = s != SANE_STATUS_GOOD ? s : SANE_STATUS_INVAL;
                                                     opened->reset();
                                                 } else if (dpi > 0) {
                                                     SetNumericOption(**opened, SANE_NAME_SCAN_RESOLUTION, dpi);
                                                 }
                                             });
        if (waited != Attempt::Done)
            return waited;
        dev = std::move(*opened);
        m_openStatus = *status;
    }
    if (!dev) {
        if (m_openStatus == SANE_STATUS_GOOD)
            m_openStatus = SANE_STATUS_NO_MEM;  // the virtual scanner fails for want of memory alone
        m_failedName = name;
        return Attempt::Failed;
    }
    m_device = std::move(dev);
    m_deviceName = name;
    return Attempt::Done;
}

int Bridge::openDefaultSource()
{
    // Not while a scan or the source dialog runs: the device is in use.
    if (m_busy)
        return m_device ? 1 : 0;
    m_busy = true;  // opening may wait with the window's events running
    const auto notBusy = qScopeGuard([this] { m_busy = false; });
    const Attempt a = openDefault();
    if (a == Attempt::Cancelled || a == Attempt::TimedOut)
        m_openGaveUpAt = std::chrono::steady_clock::now();
    return a == Attempt::Done ? 1 : 0;
}

Bridge::Attempt Bridge::openDefault()
{
    QString name = rememberedSource();
    if (name.isEmpty() && m_device)
        return Attempt::Done;  // already found this run; searching again can take seconds
    if (name.isEmpty()) {
        // Nothing chosen yet: the first real scanner, else the virtual one.
        auto found = std::make_shared<std::vector<SaneDeviceInfo>>();
        auto status = std::make_shared<std::atomic<SANE_Status>>(SANE_STATUS_GOOD);
        const Attempt waited = untilReturned(QStringLiteral("Scanners zoeken…"),
                                             QStringLiteral("Er antwoordt geen scanner; het zoeken is na %1 seconden "
                                                            "afgebroken"),
                                             openBoundMs(), [found, status](SaneBackend &session) {
            *status = session.getDevices(*found);
            if (*status != SANE_STATUS_GOOD)
                found->clear();
        });
        if (waited != Attempt::Done)
            return waited;
        m_standIn = found->empty();
        if (*status != SANE_STATUS_GOOD)
            notice(QStringLiteral("Geen scanner gevonden (%1, SANE-status: %2): de ingebouwde proefscanner wordt gebruikt.")
                       .arg(OpenStatusReason(*status), StatusName(*status)));
        name = found->empty() ? QLatin1String(kVirtualScannerName) : QString::fromStdString(found->front().name);
    } else {
        m_standIn = false;
    }
    if (m_device && m_deviceName == name)
        return Attempt::Done;
    return openNamed(name);
}

int Bridge::setCurrentResolution(double dpi)
{
    // Not while a scan reads the device from its worker thread.
    if (!(dpi > 0) || dpi > 100000 || m_busy)
        return 0;
    m_resolution = dpi;
    if (!m_device)
        return 1;
    if (m_deviceName == QLatin1String(kVirtualScannerName))
        return SetNumericOption(*m_device, SANE_NAME_SCAN_RESOLUTION, dpi) == SANE_STATUS_GOOD ? 1 : 0;
    // A network scanner answers over its connection, which may have stalled since it opened.
    m_busy = true;
    const auto notBusy = qScopeGuard([this] { m_busy = false; });
    auto set = std::make_shared<std::atomic<bool>>(false);
    const Attempt waited = untilReturned(QStringLiteral("Scanner instellen…"),
                                         QStringLiteral("De scanner \"%1\" antwoordt niet; het instellen is na %2 "
                                                        "seconden afgebroken").arg(m_deviceName, "%1"),
                                         networkBoundMs(m_deviceName), [dev = m_device, dpi, set](SaneBackend &) {
        *set = SetNumericOption(*dev, SANE_NAME_SCAN_RESOLUTION, dpi) == SANE_STATUS_GOOD;
    });
    if (waited == Attempt::Cancelled || waited == Attempt::TimedOut)
        m_openGaveUpAt = std::chrono::steady_clock::now();  // the device went with it
    return waited == Attempt::Done && *set ? 1 : 0;
}

ScanOutcome Bridge::scan(const std::shared_ptr<ScanControl> &control)
{
    // The work holds the device and the session, as it may outlive this call;
    // the device is closed before the session ends (members go in reverse).
    struct Held {
        std::shared_ptr<SaneBackend> session;
        std::shared_ptr<SaneDevice> dev;
    };
    auto work = [held = Held{m_backend, m_device}, control, hook = m_startHook] {
        if (hook)
            hook(*control, *held.dev);
        return RunScan(*held.dev, *control);
    };
    const int stuckBefore = WorkerThread::abandonedRunning();
    ScanOutcome o;
    if (eventLoopHere()) {
        // A search that found no scanner is said where the scan shows its progress.
        const QString label = m_standIn && m_deviceName == QLatin1String(kVirtualScannerName)
                                  ? QStringLiteral("Geen scanner gevonden: de ingebouwde proefscanner wordt gebruikt.")
                                  : QStringLiteral("Bezig met scannen…");
        o = RunWhileProcessingEvents(work, control, m_device, guiHere(), m_product, label);
    } else {
        auto result = std::make_shared<ScanOutcome>();
        if (WorkerThread::RunOrAbandon([work, result] { *result = work(); }, [&] { return ScanStuck(*control, o); }))
            o = std::move(*result);
    }
    if (WorkerThread::abandonedRunning() > stuckBefore) {
        // The device and the session stay in the abandoned worker's hands and
        // end when it returns: the next scan starts a new session, as SANE's
        // net backend does not recover from a connection left in mid-call.
        giveUpSession();
    }
    return o;
}

int Bridge::acquireToFilename(void *, const char *path)
{
    if (m_busy || !path || !*path)
        return 0;
    m_busy = true;
    const auto notBusy = qScopeGuard([this] { m_busy = false; });
    const QString target = QString::fromUtf8(path);
    if (!m_device || m_deviceName != QLatin1String(kVirtualScannerName)) {
        if (saneStillBusy())
            return 0;
    }
    // The user stopped waiting for the scanner, or was told it does not
    // answer, a moment ago: the scan that follows (the window asks to open,
    // then to scan) does not wait for it again.
    const auto gaveUpAt = std::exchange(m_openGaveUpAt, {});
    if (!m_device && std::chrono::steady_clock::now() - gaveUpAt < std::chrono::seconds(2))
        return 0;
    const Attempt opened = m_device ? Attempt::Done : openDefault();
    if (opened == Attempt::Cancelled || opened == Attempt::TimedOut)
        return 0;  // the user stopped waiting, or the time-out was explained
    if (opened == Attempt::SaneBusy) {
        saneStillBusy();
        return 0;
    }
    if (opened == Attempt::Failed) {
        const QString gone = QStringLiteral("De scanner \"%1\" kan niet worden geopend: %2 (SANE-status: %3). ")
                                 .arg(m_failedName, OpenStatusReason(m_openStatus), StatusName(m_openStatus));
        if (!guiHere()) {
            notice(gone + QStringLiteral("Kies een andere scanner met \"Selecteer scanner\". Er is geen scan gemaakt."));
            return 0;
        }
        // A scanner that is gone (a network scanner switched off): the list at once.
        notice(gone + QStringLiteral("Kies in de lijst die nu volgt een andere scanner."));
        if (!chooseSource() || openDefault() != Attempt::Done)
            return 0;
    }
    if (!m_hideUI && guiHere() && !RunOptionsDialog(*m_device, m_product))
        return 0;

    auto control = std::make_shared<ScanControl>();
    control->stallTimeoutMs = NetworkStallBoundMs();
    if (m_tune)
        m_tune(*control);
    m_last = scan(control);
    if (m_last.kind == ScanOutcome::Cancelled)
        return 0;
    if (m_last.kind == ScanOutcome::Failed) {
        // Reopen next time, in a new session: the device may be in a state we
        // cannot see, and SANE's net backend does not recover from a server that died.
        if (WorkerThread::abandonedRunning() == 0)
            endSession();
        m_device.reset();
        m_deviceName.clear();
        notice(m_last.message + QStringLiteral(" (SANE-status: %1)\nEr is geen scan opgeslagen.").arg(StatusName(m_last.status)));
        return 0;
    }
    const double dpi = m_last.dpi > 0 ? m_last.dpi : m_resolution;
    const QString error = WriteBmp(m_last.image, dpi, target);
    m_last.image = QImage();  // the picture is on disk; give the memory back
    if (!error.isEmpty()) {
        m_last.kind = ScanOutcome::Failed;
        m_last.message = error;
        notice(error + QStringLiteral("\nEr is geen scan opgeslagen."));
        return 0;
    }
    return 1;
}
