#include "scanner/bridge/net_guard.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kDefaultOpenBoundMs = 30000;
constexpr int kDefaultStallBoundMs = 90000;

int fromTestEnvironment(const char *name)
{
    return std::max(0, std::atoi(qgetenv(name).constData()));
}

// The folders SANE reads its configuration from, in its order: those in
// SANE_CONFIG_DIR, and its defaults after them when that is unset or ends in ':'.
QStringList configFolders()
{
    const QByteArray env = qgetenv("SANE_CONFIG_DIR");
    QStringList folders = QString::fromLocal8Bit(env).split(':', Qt::SkipEmptyParts);
    if (env.isEmpty() || env.endsWith(':'))
        folders << QStringLiteral(".") << QStringLiteral("/etc/sane.d");
    return folders;
}

// Whether SANE_NET_TIMEOUT is ours (see OfferConnectTimeout), not the user's.
bool g_ourTimeout = false;

// The connect_timeout of the first net.conf SANE would read, in seconds; -1 when unset.
int netConfTimeout()
{
    for (const QString &folder : configFolders()) {
        QFile f(QDir(folder).filePath(QStringLiteral("net.conf")));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        int seconds = -1;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            const int eq = line.indexOf('=');
            if (!line.startsWith('#') && line.contains("connect_timeout") && eq > 0)
                seconds = std::atoi(line.mid(eq + 1).trimmed().constData());
        }
        return seconds;  // SANE reads only the first it finds
    }
    return -1;
}

int sanePort()
{
    const servent *s = getservbyname("sane-port", "tcp");
    return s ? ntohs(uint16_t(s->s_port)) : 6566;
}

} // namespace

int NetworkOpenBoundMs()
{
    if (const int forTests = fromTestEnvironment("KVNSCAN_OPEN_BOUND_MS"))
        return forTests;
    // As in SANE's net backend, the environment goes before the file.
    const QByteArray env = g_ourTimeout ? QByteArray() : qgetenv("SANE_NET_TIMEOUT");
    const int seconds = env.isEmpty() ? netConfTimeout() : std::atoi(env.constData());
    return seconds > 0 ? seconds * 1000 : kDefaultOpenBoundMs;
}

void OfferConnectTimeout(int boundMs)
{
    if (!g_ourTimeout && qEnvironmentVariableIsSet("SANE_NET_TIMEOUT"))
        return;  // the user's own
    if (netConfTimeout() >= 0) {
        if (g_ourTimeout)
            qunsetenv("SANE_NET_TIMEOUT");
        g_ourTimeout = false;
        return;
    }
    qputenv("SANE_NET_TIMEOUT", QByteArray::number((boundMs + 999) / 1000));
    g_ourTimeout = true;
}

int NetworkStallBoundMs()
{
    const int forTests = fromTestEnvironment("KVNSCAN_STALL_BOUND_MS");
    return forTests > 0 ? forTests : kDefaultStallBoundMs;
}

int CutServerConnections()
{
    const int port = sanePort();
    int cut = 0;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString &name : fds) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat st {};
        if (!ok || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0)
            continue;
        int peerPort = -1;
        if (peer.ss_family == AF_INET)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
        else if (peer.ss_family == AF_INET6)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
        if (peerPort == port && ::shutdown(fd, SHUT_RDWR) == 0)
            ++cut;
    }
    return cut;
}
