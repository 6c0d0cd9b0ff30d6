#include "scanner/bridge/scan_runner.h"

#include <QScopeGuard>

#include <poll.h>

#include <cerrno>
#include <iterator>
#include <chrono>
#include <new>
#include <thread>

QString StatusMessage(SANE_Status s)
{
    switch (int(s)) {
    case SANE_STATUS_JAMMED:
        return QStringLiteral("Het papier is vastgelopen in de scanner.");
    case SANE_STATUS_NO_DOCS:
        return QStringLiteral("Er ligt geen document in de scanner.");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("De klep van de scanner staat open.");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("De scanner is bezet door een ander programma.");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral("De verbinding met de scanner is verstoord.");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("Te weinig geheugen om te scannen.");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("Geen toegang tot de scanner.");
    case SANE_STATUS_HW_LOCKED:
        return QStringLiteral("De scanner is vergrendeld voor transport; ontgrendel hem eerst.");
    case SANE_STATUS_WARMING_UP:
        return QStringLiteral("De scannerlamp werd niet op tijd warm.");
    case SANE_STATUS_CANCELLED:
        return QStringLiteral("De scanner heeft de scan afgebroken.");
    case SANE_STATUS_EOF:
        return QStringLiteral("De scanner leverde geen beeld.");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("De scanner ondersteunt deze bewerking niet.");
    case SANE_STATUS_INVAL:
        return QStringLiteral("De scanner weigert de instellingen.");
    default:
        return QStringLiteral("De scanner meldt een onbekende fout (%1).").arg(int(s));
    }
}

QString OpenStatusReason(SANE_Status s)
{
    switch (int(s)) {
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("de scanner is bezet");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("geen toegang tot de scanner (de gebruiker heeft er geen rechten op)");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral("de verbinding met de scanner is verstoord");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("te weinig geheugen");
    case SANE_STATUS_INVAL:
        return QStringLiteral("er is geen scanner met deze naam");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("het stuurprogramma kan deze scanner niet aansturen");
    case SANE_STATUS_HW_LOCKED:
        return QStringLiteral("de scanner is vergrendeld voor transport");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("de klep van de scanner staat open");
    case SANE_STATUS_WARMING_UP:
        return QStringLiteral("de scanner is nog aan het opwarmen");
    case SANE_STATUS_CANCELLED:
        return QStringLiteral("het openen is afgebroken");
    default:
        return QStringLiteral("onbekende fout");
    }
}

QString StatusName(SANE_Status s)
{
    static const char *const names[] = {"GOOD",    "UNSUPPORTED", "CANCELLED",  "DEVICE_BUSY", "INVAL",
                                        "EOF",     "JAMMED",      "NO_DOCS",    "COVER_OPEN",  "IO_ERROR",
                                        "NO_MEM",  "ACCESS_DENIED", "WARMING_UP", "HW_LOCKED"};
    const int i = int(s);
    return i >= 0 && i < int(std::size(names)) ? QStringLiteral("SANE_STATUS_") + QLatin1String(names[i])
                                               : QString::number(i);
}

namespace {

ScanOutcome failed(SANE_Status s, const QString &message = {})
{
    ScanOutcome o;
    o.kind = ScanOutcome::Failed;
    o.status = s;
    o.message = message.isEmpty() ? StatusMessage(s) : message;
    return o;
}

ScanOutcome cancelled()
{
    ScanOutcome o;
    o.kind = ScanOutcome::Cancelled;
    o.status = SANE_STATUS_CANCELLED;
    return o;
}

using Clock = std::chrono::steady_clock;
constexpr size_t kChunkBytes = 256 * 1024;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

QString stallMessage(const ScanControl &control)
{
    return QStringLiteral("De scanner levert al %1 seconden geen gegevens meer.").arg(control.stallTimeoutMs / 1000);
}

// The device as the scan uses it: every call that returns is noted, so a
// waiter can tell a scan that moves from one stuck in a call.
class Watched : public SaneDevice {
public:
    Watched(SaneDevice &dev, ScanControl &control) : m_dev(dev), m_control(control) { note(); }
    const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int option) override
    {
        return noted(m_dev.getOptionDescriptor(option));
    }
    SANE_Status controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info) override
    {
        return noted(m_dev.controlOption(option, action, value, info));
    }
    SANE_Status getParameters(SANE_Parameters *params) override { return noted(m_dev.getParameters(params)); }
    SANE_Status start() override { return noted(m_dev.start()); }
    SANE_Status read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) override
    {
        return noted(m_dev.read(data, maxLength, length));
    }
    void cancel() override { m_dev.cancel(); }
    SANE_Status setIoMode(bool nonBlocking) override { return noted(m_dev.setIoMode(nonBlocking)); }
    SANE_Status getSelectFd(int *fd) override { return noted(m_dev.getSelectFd(fd)); }

private:
    void note() { m_control.lastReturnMs.store(NowMs()); }
    template <typename T>
    T noted(T value)
    {
        note();
        return value;
    }
    SaneDevice &m_dev;
    ScanControl &m_control;
};

// Ends the scan on the device with its outcome already decided: a server
// that stopped answering never returns from the cancel, and the waiter then
// reports this outcome without it (see ScanStuck).
ScanOutcome endScan(SaneDevice &dev, ScanControl &control, ScanOutcome outcome)
{
    {
        std::lock_guard<std::mutex> lock(control.decidedMutex);
        control.decided = outcome;
    }
    control.endingSinceMs.store(NowMs());
    dev.cancel();
    control.endingSinceMs.store(0);
    {
        std::lock_guard<std::mutex> lock(control.decidedMutex);
        control.decided = ScanOutcome();  // the picture is the caller's alone again
    }
    return outcome;
}

// Switches the device to non-blocking reads with a descriptor to wait on;
// -1 when it offers none and reads block.
int waitableDescriptor(SaneDevice &dev)
{
    int fd = -1;
    if (dev.setIoMode(true) != SANE_STATUS_GOOD)
        return -1;
    if (dev.getSelectFd(&fd) == SANE_STATUS_GOOD && fd >= 0)
        return fd;
    dev.setIoMode(false);
    return -1;
}

bool silentTooLong(const ScanControl &control, Clock::time_point lastData, QString &message)
{
    if (Clock::now() - lastData <= std::chrono::milliseconds(control.stallTimeoutMs))
        return false;
    message = stallMessage(control);
    return true;
}

// Waits until fd has something, the scan is cancelled, or the device has been
// silent for too long since `lastData`. `closed` tells that the other end has
// gone (a network scanner's server died).
SANE_Status waitReadable(int fd, ScanControl &control, Clock::time_point lastData, bool &closed, QString &message)
{
    for (;;) {
        if (control.cancel.load())
            return SANE_STATUS_CANCELLED;
        pollfd p{fd, POLLIN | POLLRDHUP, 0};
        const int r = ::poll(&p, 1, 50);
        if (r > 0) {
            closed = p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL);
            return SANE_STATUS_GOOD;  // data, end or error: the read tells which
        }
        if (r < 0 && errno != EINTR) {
            message = QStringLiteral("De verbinding met de scanner is verstoord.");
            return SANE_STATUS_IO_ERROR;
        }
        if (silentTooLong(control, lastData, message))
            return SANE_STATUS_IO_ERROR;
    }
}

// Where the reading of one frame is.
struct FrameRead {
    bool known = false;     // the device told how many lines come
    uint64_t expected = 0;  // bytes announced
    uint64_t limit = 0;     // bytes kept at most
    uint64_t received = 0, excess = 0;
    int fd = -1;            // descriptor to wait on, or -1 when reads block
    int emptyReads = 0, emptyAfterClose = 0;
    Clock::time_point lastData = Clock::now();
};

// A read that brought nothing: GOOD to read again, else why the frame ends.
SANE_Status nothingRead(FrameRead &r, bool closed, const ScanControl &control, QString &message)
{
    if (r.fd >= 0) {
        // SANE's net backend reads a closed connection as "nothing yet", for ever.
        if (closed && ++r.emptyAfterClose > 2) {
            message = QStringLiteral("De verbinding met de scanner is verbroken.");
            return SANE_STATUS_IO_ERROR;
        }
        return silentTooLong(control, r.lastData, message) ? SANE_STATUS_IO_ERROR : SANE_STATUS_GOOD;
    }
    // Blocking reads may legitimately return nothing; do not spin hot.
    if (++r.emptyReads > control.maxEmptyReads) {
        message = QStringLiteral("De scanner levert geen gegevens meer.");
        return SANE_STATUS_IO_ERROR;
    }
    if (r.emptyReads > 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return SANE_STATUS_GOOD;
}

// Keeps the len bytes read into the frame (and part): GOOD, else why the frame ends.
SANE_Status keepBytes(FrameRead &r, const SANE_Byte *bytes, uint64_t len, ScanFrame &frame, PartialPicture &part,
                      ScanControl &control, QString &message)
{
    r.emptyReads = 0;
    r.emptyAfterClose = 0;
    r.lastData = Clock::now();
    const uint64_t room = r.limit > r.received ? r.limit - r.received : 0;
    r.excess += len > room ? len - room : 0;
    if (r.known && r.excess > r.expected) {
        message = QStringLiteral("De scanner levert veel meer gegevens dan aangekondigd.");
        return SANE_STATUS_IO_ERROR;
    }
    if (!r.known && len > room) {
        message = QStringLiteral("De scan is te groot voor een BMP-bestand (meer dan 4 GB).");
        return SANE_STATUS_NO_MEM;
    }
    try {
        const uint64_t taken = std::min(len, room);
        frame.data.insert(frame.data.end(), bytes, bytes + taken);
        r.received += taken;
        if (!AddRows(frame, part))
            throw std::bad_alloc();
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("Te weinig geheugen om de scan te ontvangen.");
        return SANE_STATUS_NO_MEM;
    }
    if (r.known)
        control.permille.store(int(r.received * 1000 / std::max<uint64_t>(r.expected, 1)));
    return SANE_STATUS_GOOD;
}

// Reads one frame to its end. Returns GOOD with the bytes, or the failing status.
// Whole lines are converted into part as they arrive, when it holds a picture.
SANE_Status readFrame(SaneDevice &dev, ScanControl &control, ScanFrame &frame, PartialPicture &part,
                      QString &message)
{
    const SANE_Parameters &p = frame.params;
    const uint64_t bpl = uint64_t(p.bytes_per_line);
    FrameRead r;
    r.known = p.lines > 0;
    r.expected = r.known ? bpl * uint64_t(p.lines) : 0;
    // A device may deliver more than it announced; a little of that is read and dropped.
    r.limit = r.known ? r.expected : control.unknownLengthLimit;
    try {
        // A picture that grows keeps only the bytes of a line not yet whole.
        frame.data.reserve(size_t(r.known ? r.expected
                                  : part.growing ? 2 * bpl + kChunkBytes : std::min<uint64_t>(r.limit, 64ull << 20)));
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("Te weinig geheugen om de scan te ontvangen.");
        return SANE_STATUS_NO_MEM;
    }
    std::vector<SANE_Byte> chunk(kChunkBytes);
    r.fd = waitableDescriptor(dev);
    const auto phaseBack = qScopeGuard([&control] { control.phase.store(ScanControl::Other); });
    control.phase.store(r.fd >= 0 ? ScanControl::WaitingRead : ScanControl::BlockingRead);
    for (;;) {
        if (control.cancel.load())
            return SANE_STATUS_CANCELLED;
        bool closed = false;
        if (r.fd >= 0) {
            const SANE_Status w = waitReadable(r.fd, control, r.lastData, closed, message);
            if (w != SANE_STATUS_GOOD)
                return w;
        }
        SANE_Int len = 0;
        const SANE_Status s = dev.read(chunk.data(), SANE_Int(chunk.size()), &len);
        if (s == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (s != SANE_STATUS_GOOD)
            return s;
        if (len < 0 || len > SANE_Int(chunk.size())) {
            message = QStringLiteral("De scanner gaf een ongeldige hoeveelheid gegevens door.");
            return SANE_STATUS_IO_ERROR;
        }
        const SANE_Status kept = len == 0 ? nothingRead(r, closed, control, message)
                                          : keepBytes(r, chunk.data(), uint64_t(len), frame, part, control, message);
        if (kept != SANE_STATUS_GOOD)
            return kept;
    }
}

// Pixels the scan area spans along one axis at `dpi`; 0 when the device does not say.
double askedPixels(SaneDevice &dev, const char *from, const char *to, double dpi)
{
    double a = 0, b = 0;
    if (!ReadNumericOption(dev, from, a) || !ReadNumericOption(dev, to, b))
        return 0;
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(FindOption(dev, to));
    return d && d->unit == SANE_UNIT_PIXEL ? b - a : (b - a) / 25.4 * dpi;
}

// Parameters that are well-formed but cannot be the picture that was asked
// for, e.g. after a backend's resolution overflowed into a negative number.
QString implausibleResult(SaneDevice &dev, const SANE_Parameters &p, bool haveDpi, double dpi)
{
    if (haveDpi && !(dpi >= 1 && dpi <= 65535))
        return QStringLiteral("De scanner meldt een onmogelijke resolutie (%1 dpi); daar kan geen scan van worden gemaakt.")
            .arg(dpi);
    if ((p.pixels_per_line == 1 && askedPixels(dev, SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_BR_X, dpi) >= 2)
        || (p.lines == 1 && askedPixels(dev, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_Y, dpi) >= 2))
        return QStringLiteral("De scanner levert een beeld van één beeldpunt breed of hoog, terwijl er meer werd gevraagd.");
    return {};
}

} // namespace

ScanOutcome RunScan(SaneDevice &device, ScanControl &control)
{
    Watched dev(device, control);
    std::vector<ScanFrame> frames;
    PartialPicture part;
    double dpi = 0;
    const bool haveDpi = ReadNumericOption(dev, SANE_NAME_SCAN_RESOLUTION, dpi);
    for (;;) {
        SANE_Status s = dev.start();
        for (int tries = 0; int(s) == SANE_STATUS_WARMING_UP && tries < control.warmUpTries; ++tries) {
            for (int waited = 0; waited < control.warmUpWaitMs && !control.cancel.load(); waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, control.warmUpWaitMs)));
            if (control.cancel.load())
                return endScan(dev, control, cancelled());
            s = dev.start();
        }
        if (s != SANE_STATUS_GOOD)
            return endScan(dev, control, control.cancel.load() && s == SANE_STATUS_CANCELLED ? cancelled() : failed(s));
        ScanFrame frame;
        s = dev.getParameters(&frame.params);
        if (s != SANE_STATUS_GOOD)
            return endScan(dev, control, failed(s));
        QString invalid = ValidateParameters(frame.params);
        if (invalid.isEmpty() && frames.empty())
            invalid = implausibleResult(dev, frame.params, haveDpi, dpi);
        if (!invalid.isEmpty())
            return endScan(dev, control, failed(SANE_STATUS_INVAL, invalid));
        control.permille.store(frame.params.lines > 0 ? 0 : -1);
        QString message;
        // Only a first frame in one pass is built as it arrives.
        if (frames.empty())
            part = BeginRows(frame.params);
        s = readFrame(dev, control, frame, part, message);
        if (s != SANE_STATUS_GOOD)
            return endScan(dev, control, control.cancel.load() ? cancelled() : failed(s, message));
        const bool last = frame.params.last_frame;
        try {
            frames.push_back(std::move(frame));
        } catch (const std::bad_alloc &) {
            return endScan(dev, control, failed(SANE_STATUS_NO_MEM));
        }
        // A single-pass format always ends the scan, whatever the flag says.
        if (last || frames.back().params.format == SANE_FRAME_GRAY || frames.back().params.format == SANE_FRAME_RGB
            || frames.size() >= 3)
            break;
    }
    AssembledPicture pic = AssembleFrames(frames, &part);
    frames.clear();
    frames.shrink_to_fit();
    ScanOutcome o = failed(SANE_STATUS_INVAL, pic.error);
    if (pic.error.isEmpty()) {
        o = ScanOutcome();
        o.kind = ScanOutcome::Done;
        o.image = std::move(pic.image);
        o.dpi = dpi;
    }
    return endScan(dev, control, std::move(o));  // the cancel ends the scan; required after the last frame
}

bool ScanStuck(ScanControl &control, ScanOutcome &outcome)
{
    const int64_t now = NowMs();
    const int64_t ending = control.endingSinceMs.load();
    if (ending > 0 && now - ending > control.abandonAfterCancelMs) {
        std::lock_guard<std::mutex> lock(control.decidedMutex);
        outcome = control.decided;
        return true;
    }
    // A call into the device (a start, an option) that has not returned for as
    // long as a scan may go without data.
    const int64_t last = control.lastReturnMs.load();
    if (last > 0 && now - last > int64_t(control.stallTimeoutMs) + control.abandonAfterCancelMs) {
        outcome = control.cancel.load() ? cancelled() : failed(SANE_STATUS_IO_ERROR, stallMessage(control));
        return true;
    }
    return false;
}
