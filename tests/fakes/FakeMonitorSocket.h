#pragma once

#include "callmonitor/MonitorSocket.h"

#include <string>
#include <vector>

/// Records the connection attempts asked of it; the test plays the peer's side.
class FakeMonitorSocket final : public MonitorSocket
{
public:
    struct Attempt
    {
        std::string host;
        std::uint16_t port = 0;
    };
    std::vector<Attempt> attempts;
    int closes = 0;
    bool open = false; // an attempt or a connection is under way

    void setListener(Listener *l) override { m_listener = l; }
    void connectTo(const std::string &host, std::uint16_t port) override
    {
        attempts.push_back({host, port});
        open = true;
    }
    void close() override
    {
        ++closes;
        open = false;
    }

    void accept() { m_listener->onConnected(); }
    void send(std::string_view bytes) { m_listener->onReceived(bytes); }
    void end(const std::string &reason)
    {
        open = false;
        m_listener->onClosed(reason);
    }

private:
    Listener *m_listener = nullptr;
};
