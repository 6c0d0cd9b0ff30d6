#include "imaging/picture_decoder.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "common/sanitizer.h"
#include "imaging/picture_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QCursor>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
constexpr int kDefaultSeconds = 20;
int g_seconds = 0;

constexpr bool kSanitized = kAddressSanitized;

// Moves fd above the standard ones and the decoder's own, close-on-exec.
int Lifted(int fd)
{
    if (fd < 0)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return moved;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// The environment for the decoder: as ours, but a sanitizer build (where the
// address space cannot be limited) gets its memory limit from the sanitizer.
std::vector<std::string> DecoderEnvironment(qint64 addressSpace)
{
    std::vector<std::string> env;
    for (char **e = environ; e && *e; ++e)
        if (!kSanitized || std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
            env.emplace_back(*e);
    if (kSanitized) {
        const long long mb = addressSpace >> 20;
        env.push_back("ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1:max_allocation_size_mb="
                      + std::to_string(mb) + ":hard_rss_limit_mb=" + std::to_string(mb + 512));
    }
    return env;
}

struct Decoder {
    pid_t pid = -1;
    Fd memory;     // the shared memory the pixels come back in
    Fd finished;   // readable (end of file) once the decoder is gone
};

bool Start(Decoder &d, const QString &path, qint64 pictureBytes)
{
    const QByteArray program = QFile::encodeName(DecoderProgram());
    if (program.isEmpty() || ::access(program.constData(), X_OK) != 0)
        return false;
    d.memory.reset(Lifted(::memfd_create("kvnscan-picture", MFD_CLOEXEC)));
    // Room for any picture within the limit, rows padded; untouched pages cost nothing.
    if (d.memory.get() < 0 || ::ftruncate(d.memory.get(), kDecodedPixelsOffset + 2 * pictureBytes) != 0)
        return false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    d.finished.reset(Lifted(pipeFds[0]));
    Fd writeEnd(Lifted(pipeFds[1]));
    if (d.finished.get() < 0 || writeEnd.get() < 0)
        return false;

    const QByteArray bytes = QByteArray::number(pictureBytes);
    const QByteArray seconds = QByteArray::number(DecodeSeconds());
    const QByteArray file = NativePath(path); // the name's own bytes, UTF-8 or not
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(bytes.constData()),
                    const_cast<char *>(seconds.constData()), const_cast<char *>(file.constData()), nullptr};
    std::vector<std::string> env = DecoderEnvironment(DecodeAddressSpace(pictureBytes));
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, d.memory.get(), kDecoderMemoryFd);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), kDecoderMemoryFd + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = ::posix_spawn(&d.pid, program.constData(), &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        d.pid = -1;
    return rc == 0;
}

enum class Ending { Exited, Cancelled, TimedOut };

int WallLimitMs() { return (3 * DecodeSeconds() + 10) * 1000; }

Ending WaitPlain(const Decoder &d)
{
    QElapsedTimer clock;
    clock.start();
    pollfd p{d.finished.get(), POLLIN, 0};
    for (;;) {
        const qint64 left = WallLimitMs() - clock.elapsed();
        if (left <= 0)
            return Ending::TimedOut;
        const int r = ::poll(&p, 1, int(left));
        if (r > 0)
            return Ending::Exited;   // the decoder writes nothing: this is the end of the pipe
        if (r < 0 && errno != EINTR)
            return Ending::Exited;
    }
}

// The window keeps answering: input waits during the first second, then a
// modal window offers "Annuleren".
Ending WaitInWindow(const Decoder &d, const QString &path)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Ending ending = Ending::Exited;
    QEventLoop loop;
    QSocketNotifier notifier(d.finished.get(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] { loop.exit(0); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        ending = Ending::TimedOut;
        loop.exit(0);
    });
    deadline.start(WallLimitMs());
    QTimer second;
    second.setSingleShot(true);
    QObject::connect(&second, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    second.start(1000);
    if (loop.exec(QEventLoop::ExcludeUserInputEvents) == 1) {
        const std::unique_ptr<QObject> window = prompts().busyWindow(
            QStringLiteral("Bestand openen"),
            QStringLiteral("Bezig met lezen van %1…").arg(QFileInfo(path).fileName()), [&] {
                ending = Ending::Cancelled;
                loop.exit(0);
            });
        QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
        // Without a window to stop it, input keeps waiting.
        loop.exec(window ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    }
    QGuiApplication::restoreOverrideCursor();
    return ending;
}

// A program of widgets, asked by class name: this module links no widgets.
bool InWindowProgram()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && app->inherits("QApplication") && QThread::currentThread() == app->thread();
}

void ReleaseMapping(void *pixels)
{
    auto *header = reinterpret_cast<DecodedHeader *>(static_cast<char *>(pixels) - kDecodedPixelsOffset);
    ::munmap(header, size_t(kDecodedPixelsOffset + header->bytesPerLine * header->height));
}

// The decoder's answer; the picture's pixels stay where the decoder put them.
DecodedPicture Collect(const Decoder &d, qint64 pictureBytes)
{
    DecodedPicture out;
    DecodedHeader h{};
    if (::pread(d.memory.get(), &h, sizeof h, 0) != ssize_t(sizeof h) || h.magic != kDecodedMagic)
        return out;
    out.outcome = PictureDecodeResult(h.result);
    if (out.outcome != PictureDecodeResult::Decoded)
        return out;
    out.outcome = PictureDecodeResult::Damaged;
    const qint64 rowBytes = qint64(h.width) * 3;
    if (h.width <= 0 || h.height <= 0 || h.bytesPerLine < rowBytes || h.bytesPerLine > rowBytes + 3
        || h.bytesPerLine * h.height > 2 * pictureBytes)
        return out;
    const size_t total = size_t(kDecodedPixelsOffset + h.bytesPerLine * h.height);
    void *base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, d.memory.get(), 0);
    if (base == MAP_FAILED)
        return out;
    uchar *pixels = static_cast<uchar *>(base) + kDecodedPixelsOffset;
    QImage picture(pixels, h.width, h.height, qsizetype(h.bytesPerLine), QImage::Format_BGR888, ReleaseMapping,
                   pixels);
    if (picture.isNull()) {
        ::munmap(base, total);
        return out;
    }
    picture.setDotsPerMeterX(h.dotsPerMeterX);
    picture.setDotsPerMeterY(h.dotsPerMeterY);
    out.picture = picture;
    out.incomplete = h.incomplete != 0;
    out.outcome = PictureDecodeResult::Decoded;
    return out;
}
}

int DecodeSeconds() { return g_seconds > 0 ? g_seconds : kDefaultSeconds; }

void SetDecodeSeconds(int seconds) { g_seconds = std::max(seconds, 0); }

QString DecoderProgram()
{
    const QString name = QStringLiteral("kvnscan-decode");
    const QString here = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                      : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString beside = here + '/' + name;
    if (QFileInfo(beside).isExecutable())
        return beside;
#ifdef KVN_DECODER_BUILT
    return QStringLiteral(KVN_DECODER_BUILT);
#else
    return beside;
#endif
}

DecodedPicture DecodeInDecoder(const QString &path)
{
    const qint64 pictureBytes = PictureByteLimit();
    Decoder d;
    if (!Start(d, path, pictureBytes))
        return {PictureDecodeResult::NoDecoder, QImage()};
    const Ending ending = InWindowProgram() ? WaitInWindow(d, path) : WaitPlain(d);
    if (ending != Ending::Exited)
        ::kill(d.pid, SIGKILL);
    int status = 0;
    while (::waitpid(d.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (ending == Ending::Cancelled)
        return {PictureDecodeResult::Cancelled, QImage()};
    if (ending == Ending::TimedOut)
        return {PictureDecodeResult::TooSlow, QImage()};
    if (WIFSIGNALED(status)) {
        // Past the processor limit the system sends SIGXCPU, and SIGKILL one second later.
        const int sig = WTERMSIG(status);
        return {sig == SIGXCPU || sig == SIGKILL ? PictureDecodeResult::TooSlow : PictureDecodeResult::Damaged,
                QImage()};
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kDecoderStartedWrongly)
        return {PictureDecodeResult::StartedWrongly, QImage()};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {PictureDecodeResult::Damaged, QImage()};
    return Collect(d, pictureBytes);
}

QString IncompleteFileText()
{
    return QStringLiteral("Het bestand is onvolledig; het ontbrekende deel is grijs.");
}

QString DecodeReason(PictureDecodeResult outcome)
{
    switch (outcome) {
    case PictureDecodeResult::NotAPicture: return QStringLiteral("het is geen plaatje dat dit programma kan lezen");
    case PictureDecodeResult::TooLarge: return QStringLiteral("het plaatje is te groot voor het geheugen");
    case PictureDecodeResult::TooSlow:
        return QStringLiteral("het lezen ging te traag (meer dan %1 seconden)").arg(DecodeSeconds());
    case PictureDecodeResult::NoDecoder: return QStringLiteral("het hulpprogramma kvnscan-decode ontbreekt of start niet");
    case PictureDecodeResult::NoLibrary:
        return QStringLiteral("de beeldbibliotheek FreeImage ontbreekt of laadt niet (pakket libfreeimage3)");
    case PictureDecodeResult::StartedWrongly:
        return QStringLiteral("het hulpprogramma kvnscan-decode is verkeerd gestart");
    default: return QStringLiteral("het bestand is beschadigd");
    }
}

QString DecodeFailureText(PictureDecodeResult outcome, const QString &path)
{
    return QStringLiteral("%1 is niet geopend: %2.").arg(QDir::toNativeSeparators(path), DecodeReason(outcome));
}
