#pragma once
// The state behind the eight exported operations: chosen source, open
// device, requested resolution, whether the device's own dialog is shown.
#include "scanner/bridge/sane_wrapper.h"
#include "scanner/bridge/scan_runner.h"

#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class Bridge {
public:
    using BackendFactory = std::function<std::unique_ptr<SaneBackend>()>;
    using NoticeSink = std::function<void(const QString &)>;

    Bridge();
    ~Bridge();

    // The one instance the exports use.
    static Bridge &instance();

    // Closes the device and ends the SANE session (a later call starts a new one).
    void endSession();

    // Seams for tests and tools.
    void setBackendFactory(BackendFactory f);
    void setSourceFile(const QString &path);  // where the chosen source is remembered
    void setNoticeSink(NoticeSink sink);      // default: a message box, or stderr without a GUI
    void setTuning(std::function<void(ScanControl &)> tune) { m_tune = std::move(tune); }
    // How long opening or searching may wait for a scanner; 0: the user's
    // net.conf or 30 s (tests shorten it).
    void setOpenBoundMs(int ms) { m_openBoundMs = ms; }
    // Called on the worker thread before each scan (tests cancel from there).
    void setScanStartHook(std::function<void(ScanControl &, SaneDevice &)> hook) { m_startHook = std::move(hook); }

    static constexpr int kVersion = 120;
    int isAvailable() const { return 1; }  // the virtual scanner can always serve
    int selectImageSource(void *owner);
    void setHideUI(int hide) { m_hideUI = hide != 0; }
    int openDefaultSource();
    int setCurrentResolution(double dpi);
    int acquireToFilename(void *window, const char *path);
    void registerApp(const char *product);

    // An operation (what, in Dutch) failed with error: written to the error
    // stream and told through the instance's notice. Throws nothing.
    static void failed(const char *what, const std::exception_ptr &error) noexcept;

    QString productTitle() const { return m_product; }
    QString rememberedSource() const;
    void rememberSource(const QString &name);
    QString openDeviceName() const { return m_deviceName; }
    SaneDevice *device() { return m_device.get(); }  // the open source, for tools and tests
    SaneBackend &backend();

private:
    // How opening or searching ended.
    enum class Attempt { Done, Failed, Cancelled, TimedOut, SaneBusy };
    Attempt openDefault();
    Attempt openNamed(const QString &name);
    // Runs a call into the session off the window thread, unless an abandoned
    // call still runs there (SaneBusy); Cancelled when the user stopped waiting.
    // Gives up after `bound` ms (0: no bound), saying so with `timedOut` (%1: seconds).
    Attempt untilReturned(const QString &label, const QString &timedOut, int bound,
                          std::function<void(SaneBackend &)> call);
    void notice(const QString &text);
    int openBoundMs() const;
    int networkBoundMs(const QString &device) const;
    // Leaves the session to calls abandoned in it and cuts them loose from their server.
    void giveUpSession();
    // True once no abandoned call runs inside SANE any more.
    bool abandonedSettled();
    bool saneStillBusy();
    bool chooseSource();
    ScanOutcome scan(const std::shared_ptr<ScanControl> &control);

    BackendFactory m_factory;
    // Shared with a worker that may outlive the wait for it (see WorkerThread).
    std::shared_ptr<SaneBackend> m_backend;
    std::shared_ptr<SaneDevice> m_device;
    QString m_deviceName;
    QString m_sourceFile;
    QString m_product = QStringLiteral("Scanner");
    NoticeSink m_sink;
    std::function<void(ScanControl &)> m_tune;
    std::function<void(ScanControl &, SaneDevice &)> m_startHook;
    double m_resolution = 0;
    int m_openBoundMs = 0;
    bool m_hideUI = true;
    bool m_busy = false;
    std::chrono::steady_clock::time_point m_openGaveUpAt;  // when opening was last cancelled or timed out
    // Why the last source that failed to open did so, and its name.
    SANE_Status m_openStatus = SANE_STATUS_GOOD;
    QString m_failedName;
    bool m_standIn = false;  // the virtual scanner is open because the search found none
    ScanOutcome m_last;
};

// Folder of the file this code was loaded from (the library itself), with a trailing '/'.
QString OwnFolder();
