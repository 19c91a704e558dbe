#include "callmonitor/CallMonitorLine.h"

#include "base/Notice.h"
#include "callmonitor/CallMonitorTexts.h"
#include "callmonitor/QtLineTimer.h"
#include "callmonitor/QtMonitorSocket.h"
#include "line/CallEvents.h"

#include <algorithm>
#include <cstdio>

CallMonitorLine::CallMonitorLine(std::string host, std::uint16_t port, NoticeSink notice)
    : CallMonitorLine(std::move(host), port, std::make_unique<QtMonitorSocket>(),
                      std::make_unique<QtLineTimer>(), std::move(notice))
{}

CallMonitorLine::CallMonitorLine(std::string host, std::uint16_t port,
                                 std::unique_ptr<MonitorSocket> socket,
                                 std::unique_ptr<LineTimer> timer, NoticeSink notice)
    : m_host(std::move(host)), m_port(port), m_socket(std::move(socket)), m_timer(std::move(timer)),
      m_notice(std::move(notice))
{
    m_socket->setListener(this);
}

CallMonitorLine::~CallMonitorLine()
{
    stop();
}

void CallMonitorLine::setCallEvents(CallEvents *events)
{
    m_events = events;
    m_tracker.setCallEvents(events);
}

void CallMonitorLine::start()
{
    if (m_state == State::Stopped)
        connect();
}

void CallMonitorLine::stop()
{
    m_timer->cancel();
    m_socket->close();
    m_tracker.forgetAll();
    m_state = State::Stopped;
}

std::string CallMonitorLine::description() const
{
    return "Anrufmonitor " + m_host + ":" + std::to_string(m_port);
}

std::string CallMonitorLine::downText() const
{
    return std::string(CallMonitorTexts::kNoConnection) + " (" + m_host + ":" +
           std::to_string(m_port) + ")";
}

void CallMonitorLine::connect()
{
    m_state = State::Connecting;
    m_parser.reset();
    m_toldBad = false;
    // The time-out covers the name lookup as well as the TCP handshake.
    m_timer->startOnce(kConnectTimeout, [this] {
        m_socket->close();
        attemptFailed("keine Antwort nach " + std::to_string(kConnectTimeout.count()) + " s");
    });
    m_socket->connectTo(m_host, m_port);
}

void CallMonitorLine::onConnected()
{
    if (m_state != State::Connecting)
        return;
    m_state = State::Opened;
    m_timer->startOnce(kProven, [this] { becomeUp(); });
}

void CallMonitorLine::becomeUp()
{
    if (m_state != State::Opened)
        return;
    m_timer->cancel();
    m_state = State::Up;
    m_retry = kFirstRetry;
    if (m_toldDown) {
        notice(m_everUp ? CallMonitorTexts::kBack : CallMonitorTexts::kUp);
        m_toldDown = false;
    }
    m_everUp = true;
    if (m_events)
        m_events->onLineUp();
}

void CallMonitorLine::onReceived(std::string_view bytes)
{
    if (m_state == State::Opened && bytes.find_first_of("\r\n") != std::string_view::npos)
        becomeUp();
    if (m_state != State::Up && m_state != State::Opened)
        return;
    m_parser.feed(bytes, [this](const MonitorRecord &r) { m_tracker.handle(r); });
    if (!m_toldBad && m_parser.badLines() > 0) {
        notice(CallMonitorTexts::kBadLine + m_parser.firstBadLine());
        m_toldBad = true;
    }
}

void CallMonitorLine::onClosed(const std::string &reason)
{
    if (m_state == State::Connecting || m_state == State::Opened) {
        m_timer->cancel();
        attemptFailed(reason);
    } else if (m_state == State::Up) {
        notice(CallMonitorTexts::kLost);
        m_toldDown = true;
        m_tracker.forgetAll();
        m_state = State::Waiting;
        m_timer->startOnce(kFirstRetry, [this] { connect(); });
        m_retry = std::min(kFirstRetry * 2, kMaxRetry);
        if (m_events)
            m_events->onLineLost();
    }
}

void CallMonitorLine::attemptFailed(const std::string &reason)
{
    if (!m_toldDown) {
        notice(std::string(CallMonitorTexts::kNoConnection) + " (" + m_host + ":" +
               std::to_string(m_port) + ": " + reason + ")");
        m_toldDown = true;
    }
    m_state = State::Waiting;
    const auto delay = m_retry;
    m_retry = std::min(m_retry * 2, std::chrono::seconds(kMaxRetry));
    m_timer->startOnce(delay, [this] { connect(); });
}

void CallMonitorLine::notice(const std::string &text)
{
    if (m_notice)
        m_notice(text);
    else
        ::notice(text);
}
