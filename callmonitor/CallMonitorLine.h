#pragma once

#include "callmonitor/CallMonitorParser.h"
#include "callmonitor/CallTracker.h"
#include "callmonitor/LineTimer.h"
#include "callmonitor/MonitorSocket.h"
#include "line/Line.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

/// The router's call monitor as a line: a TCP connection on the UI thread's event loop
/// whose lines become call events as they arrive. A failed attempt is retried after
/// kFirstRetry, doubling up to kMaxRetry, counted from the end of the attempt; a lost
/// connection is told once and repaired the same way. A connection counts as up once it
/// has delivered a line or lasted kProven; one that ends before is a failed attempt (a peer
/// that accepts and closes at once must not reset the back-off).
class CallMonitorLine final : public Line, private MonitorSocket::Listener
{
public:
    using NoticeSink = std::function<void(const std::string &)>;
    static constexpr std::uint16_t kDefaultPort = 1012;
    static constexpr std::chrono::seconds kConnectTimeout{5};
    static constexpr std::chrono::seconds kFirstRetry{5};
    static constexpr std::chrono::seconds kMaxRetry{60};
    static constexpr std::chrono::seconds kProven{10};

    /// The real connection: a QTcpSocket and a QTimer (needs a QCoreApplication).
    CallMonitorLine(std::string host, std::uint16_t port, NoticeSink notice = {});
    CallMonitorLine(std::string host, std::uint16_t port, std::unique_ptr<MonitorSocket> socket,
                    std::unique_ptr<LineTimer> timer, NoticeSink notice = {});
    ~CallMonitorLine() override;

    void setCallEvents(CallEvents *events) override;
    void start() override;
    void tick() override {}
    void stop() override;
    std::string description() const override;
    std::string downText() const override;

    bool isLineUp() const { return m_state == State::Up; }

private:
    enum class State { Stopped, Connecting, Opened, Up, Waiting };

    void onConnected() override;
    void onReceived(std::string_view bytes) override;
    void onClosed(const std::string &reason) override;

    void connect();
    void becomeUp();
    void attemptFailed(const std::string &reason);
    void notice(const std::string &text);

    std::string m_host;
    std::uint16_t m_port;
    std::unique_ptr<MonitorSocket> m_socket;
    std::unique_ptr<LineTimer> m_timer;
    NoticeSink m_notice;
    CallEvents *m_events = nullptr;
    CallMonitorParser m_parser;
    CallTracker m_tracker;
    State m_state = State::Stopped;
    std::chrono::seconds m_retry = kFirstRetry;
    bool m_everUp = false;   // decides between "hergestellt" and "wieder hergestellt"
    bool m_toldDown = false; // the current outage has been told
    bool m_toldBad = false;  // a bad line of this connection has been told
};
