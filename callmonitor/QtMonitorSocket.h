#pragma once

#include "callmonitor/MonitorSocket.h"

#include <QObject>
#include <QTcpSocket>

/// MonitorSocket on a QTcpSocket in the UI thread's event loop. The host name is resolved
/// by Qt in the background; once connected, TCP keepalive notices a router that vanished
/// without a word within about two minutes.
class QtMonitorSocket final : public QObject, public MonitorSocket
{
public:
    static constexpr int kKeepIdleSeconds = 60;
    static constexpr int kKeepIntervalSeconds = 10;
    static constexpr int kKeepProbes = 3;
    /// Bytes Qt reads ahead of the program; they are taken at every readyRead.
    static constexpr qint64 kReadBuffer = 64 * 1024;

    QtMonitorSocket();

    void setListener(Listener *listener) override { m_listener = listener; }
    void connectTo(const std::string &host, std::uint16_t port) override;
    void close() override;

private:
    void onConnected();
    void onReadyRead();
    void onEnded();
    void setKeepAlive();

    QTcpSocket m_socket;
    Listener *m_listener = nullptr;
    bool m_active = false; // an attempt or connection whose end is still to be told
};
