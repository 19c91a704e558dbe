#include "callmonitor/QtMonitorSocket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

QtMonitorSocket::QtMonitorSocket()
{
    m_socket.setReadBufferSize(kReadBuffer);
    QObject::connect(&m_socket, &QTcpSocket::connected, this, &QtMonitorSocket::onConnected);
    QObject::connect(&m_socket, &QTcpSocket::readyRead, this, &QtMonitorSocket::onReadyRead);
    QObject::connect(&m_socket, &QTcpSocket::disconnected, this, &QtMonitorSocket::onEnded);
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, this, &QtMonitorSocket::onEnded);
}

void QtMonitorSocket::connectTo(const std::string &host, std::uint16_t port)
{
    m_socket.abort();
    m_active = true;
    m_socket.connectToHost(QString::fromStdString(host), port);
}

void QtMonitorSocket::close()
{
    m_active = false;
    m_socket.abort();
}

void QtMonitorSocket::onConnected()
{
    setKeepAlive();
    if (m_listener)
        m_listener->onConnected();
}

void QtMonitorSocket::onReadyRead()
{
    // Taken in pieces, so that a flood never has to sit in one buffer.
    char buf[16 * 1024];
    while (m_active && m_socket.bytesAvailable() > 0) {
        const qint64 n = m_socket.read(buf, sizeof buf);
        if (n <= 0)
            break;
        if (m_listener)
            m_listener->onReceived(std::string_view(buf, static_cast<std::size_t>(n)));
    }
}

void QtMonitorSocket::onEnded()
{
    if (!m_active)
        return;
    // What the peer sent before it closed still counts.
    onReadyRead();
    if (!m_active)
        return;
    m_active = false;
    const std::string reason = m_socket.errorString().toStdString();
    m_socket.abort();
    if (m_listener)
        m_listener->onClosed(reason);
}

void QtMonitorSocket::setKeepAlive()
{
    const auto fd = static_cast<int>(m_socket.socketDescriptor());
    if (fd < 0)
        return;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
}
