#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// A TCP connection to the call monitor that never blocks: connecting, resolving the host
/// name included, runs in the background and the listener hears how it went.
class MonitorSocket
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void onConnected() = 0;
        virtual void onReceived(std::string_view bytes) = 0;
        /// The attempt failed, or the connection ended; reason in the system's words.
        virtual void onClosed(const std::string &reason) = 0;
    };

    virtual ~MonitorSocket() = default;
    /// Where the events go; set before connectTo.
    virtual void setListener(Listener *listener) = 0;
    /// Begins a connection attempt; returns at once.
    virtual void connectTo(const std::string &host, std::uint16_t port) = 0;
    /// Drops the connection or the attempt; no event follows.
    virtual void close() = 0;
};
