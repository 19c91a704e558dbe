#include "app/SingleInstance.h"

#include "base/Notice.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kConnectTimeoutMs = 2000;
const QByteArray kShowRequest = "show\n";

} // namespace

SingleInstance::SingleInstance(const QString &programDir, QObject *parent)
    : QObject(parent), m_lockPath(QDir(programDir).filePath(QStringLiteral("klingelwacht.lock")))
{
    // Socket paths are short; the directory goes into the name as a hash.
    const QByteArray hash =
        QCryptographicHash::hash(QDir(programDir).absolutePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    m_serverName =
        QStringLiteral("klingelwacht-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
    // In the user's own runtime directory no other user can take the name first.
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && runtimeDir.startsWith('/'))
        m_serverName = QDir(QFile::decodeName(runtimeDir)).filePath(m_serverName);
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    if (m_server)
        m_server->close();
    m_lockFd.close(); // closing the lock file releases the lock
}

SingleInstance::Claim SingleInstance::claim()
{
    // Private and not redirectable, like the log beside it.
    m_lockFd =
        UniqueFd(::open(QFile::encodeName(m_lockPath).constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600));
    if (!m_lockFd) {
        // Two programs on one log would double every record: no lock, no program.
        notice("Sperrdatei " + QFile::encodeName(m_lockPath).toStdString() +
               " kann nicht angelegt werden (" + std::strerror(errno) +
               "); das Programm startet nicht.");
        return Claim::NoLock;
    }
    if (::flock(m_lockFd.get(), LOCK_EX | LOCK_NB) != 0) {
        m_lockFd.close();
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            socket.write(kShowRequest);
            socket.waitForBytesWritten(kConnectTimeoutMs);
            socket.disconnectFromServer();
        }
        return Claim::Second;
    }
    listen();
    return Claim::First;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    // A socket left by a crashed first instance would block the name.
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().startsWith(kShowRequest.trimmed()) && m_onShow)
                    m_onShow();
                client->disconnectFromServer();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
}
