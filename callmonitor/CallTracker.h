#pragma once

#include "callmonitor/MonitorRecord.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

class CallEvents;

/// The incoming calls open on the call monitor, by the router's connection id, and the
/// call events their records mean. Each call gets an IncomingCall::id of its own from a
/// running number, so that a connection id reused after its DISCONNECT never names two
/// calls in the call handling.
class CallTracker
{
public:
    /// More open calls than a home router could ring at once: beyond it the oldest goes.
    static constexpr std::size_t kMaxOpenCalls = 32;

    void setCallEvents(CallEvents *events) { m_events = events; }

    void handle(const MonitorRecord &record);
    /// Forgets every open call without an event: the line is lost and the call handling
    /// completes them itself.
    void forgetAll() { m_open.clear(); }

    std::size_t openCalls() const { return m_open.size(); }

private:
    struct OpenCall
    {
        std::uint32_t id = 0;
        std::optional<std::string> extension; // set by its CONNECT
    };

    void ring(const MonitorRecord &record);
    /// The handling text of a call that ends after a CONNECT at extension (if any).
    static std::string handling(const std::optional<std::string> &extension);
    void clear(std::map<std::uint32_t, OpenCall>::iterator call, const std::string &handling);
    std::uint32_t nextId();

    CallEvents *m_events = nullptr;
    std::map<std::uint32_t, OpenCall> m_open;
    std::uint32_t m_lastId = 0;
};
