#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdio>
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
}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd); // releases the lock
}

bool SingleInstance::claim()
{
    m_lockFd = ::open(m_lockPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0) {
        // A directory we cannot write to: without a lock file we cannot tell; go on alone.
        std::fprintf(stderr, "Klingelwacht: Sperrdatei %s nicht anlegbar\n",
                     m_lockPath.toLocal8Bit().constData());
        listen();
        return true;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            socket.write(kShowRequest);
            socket.waitForBytesWritten(kConnectTimeoutMs);
            socket.disconnectFromServer();
        }
        return false;
    }
    listen();
    return true;
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
