#include "app/single_instance.h"

#include "common/filez.h"
#include "common/outside.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
// How long a later start waits for the first one's answer.
constexpr int kAnswerMs = 2000;
// A first copy that does not answer may be ending (a restart starts the new copy
// just before the old one goes): its lock is waited for this long, a tenth of a second at a time.
constexpr int kEndingTries = 100;

bool lockHeld(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}
}

SingleInstance::SingleInstance(const QString &folder, QObject *parent) : QObject(parent), m_folder(folder) {}

SingleInstance::~SingleInstance()
{
    delete m_server;
    if (m_lock >= 0)
        ::close(m_lock);
}

bool SingleInstance::claim()
{
    const QString socket = m_folder + QStringLiteral("kvnscan.socket");
    m_lock = ::open(NativePath(m_folder + QStringLiteral("kvnscan.lock")).constData(),
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_lock >= 0 && lockHeld(m_lock)) {
        QLocalSocket first;
        first.connectToServer(socket);
        if (first.waitForConnected(kAnswerMs) && first.write("raise\n") > 0 && first.waitForBytesWritten(kAnswerMs)
            && first.waitForReadyRead(kAnswerMs)) {
            ::close(m_lock);
            m_lock = -1;
            return false;
        }
        int tries = 0;
        while (lockHeld(m_lock) && ++tries < kEndingTries)
            outside().sleepMs(100);
        if (tries == kEndingTries) {
            ::close(m_lock);
            m_lock = -1;
            return false;
        }
    }
    // Ours now (or no lock could be had at all): a socket left by a copy that
    // ended badly is in the way of our own.
    QLocalServer::removeServer(socket);
    m_server = new QLocalServer;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *later = m_server->nextPendingConnection()) {
            emit raiseRequested();
            // The answer tells the later start that this copy is alive and came forward.
            later->write("ja\n");
            later->flush();
            connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
        }
    });
    if (!m_server->listen(socket))
        LogText(QStringLiteral("Kan niet luisteren op [") + socket + QStringLiteral("]: ") + m_server->errorString());
    return true;
}
