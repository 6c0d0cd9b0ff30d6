#include "scanner/bridge/bridge.h"

#include "scanner/bridge/bmp_writer.h"
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
#include <QThread>

#include <dlfcn.h>
#include <cstdio>

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
    m_device.reset();  // close before the backend ends its session
    m_deviceName.clear();
    m_backend.reset();
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

// A call abandoned after a cancel still runs inside SANE: nothing else may
// enter it until that call returns.
bool Bridge::saneStillBusy()
{
    if (WorkerThread::abandonedRunning() == 0)
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
    if (!RunSourceDialog(m_backend, rememberedSource(), m_product, chosen))
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
    return chooseSource() ? 1 : 0;
}

bool Bridge::openNamed(const QString &name, SANE_Status &status)
{
    m_device.reset();
    m_deviceName.clear();
    std::unique_ptr<SaneDevice> dev;
    if (name == QLatin1String(kVirtualScannerName)) {
        dev = OpenVirtualScanner();
        status = SANE_STATUS_GOOD;
    } else {
        status = backend().open(name.toStdString(), dev);
    }
    if (status != SANE_STATUS_GOOD || !dev)
        return false;
    m_device = std::move(dev);
    m_deviceName = name;
    if (m_resolution > 0)
        SetNumericOption(*m_device, SANE_NAME_SCAN_RESOLUTION, m_resolution);
    return true;
}

int Bridge::openDefaultSource()
{
    // Not while a scan or the source dialog runs: the device is in use.
    if (m_busy)
        return m_device ? 1 : 0;
    return openDefault() ? 1 : 0;
}

bool Bridge::openDefault()
{
    QString name = rememberedSource();
    if (name.isEmpty() && m_device)
        return true;  // already found this run; searching again can take seconds
    if (name.isEmpty()) {
        // Nothing chosen yet: the first real scanner, else the virtual one.
        std::vector<SaneDeviceInfo> devices;
        if (backend().getDevices(devices) == SANE_STATUS_GOOD && !devices.empty())
            name = QString::fromStdString(devices.front().name);
        else
            name = QLatin1String(kVirtualScannerName);
    }
    if (m_device && m_deviceName == name)
        return true;
    SANE_Status status;
    return openNamed(name, status);
}

int Bridge::setCurrentResolution(double dpi)
{
    // Not while a scan reads the device from its worker thread.
    if (!(dpi > 0) || dpi > 100000 || m_busy)
        return 0;
    m_resolution = dpi;
    if (!m_device)
        return 1;
    return SetNumericOption(*m_device, SANE_NAME_SCAN_RESOLUTION, dpi) == SANE_STATUS_GOOD ? 1 : 0;
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
    if (!eventLoopHere())
        return work();
    const int stuckBefore = WorkerThread::abandonedRunning();
    ScanOutcome o = RunWhileProcessingEvents(work, control, m_device, guiHere(), m_product);
    if (WorkerThread::abandonedRunning() > stuckBefore) {
        // The device and the session stay in the abandoned worker's hands and
        // end when it returns: the next scan starts a new session, as SANE's
        // net backend does not recover from a connection left in mid-call.
        m_device.reset();
        m_deviceName.clear();
        m_backend.reset();
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
    if (!m_device && !openDefault()) {
        const QString gone = QStringLiteral("De scanner \"%1\" kan niet worden geopend. ").arg(rememberedSource());
        if (!guiHere()) {
            notice(gone + QStringLiteral("Kies een andere scanner met \"Selecteer scanner\". Er is geen scan gemaakt."));
            return 0;
        }
        // A scanner that is gone (a network scanner switched off): the list at once.
        notice(gone + QStringLiteral("Kies in de lijst die nu volgt een andere scanner."));
        if (!chooseSource() || !openDefault())
            return 0;
    }
    if (!m_hideUI && guiHere() && !RunOptionsDialog(*m_device, m_product))
        return 0;

    auto control = std::make_shared<ScanControl>();
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
        notice(m_last.message + QStringLiteral("\nEr is geen scan opgeslagen."));
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
