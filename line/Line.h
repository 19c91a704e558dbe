#pragma once

#include <string>

class CallEvents;

/// Where calls come from: a CAPI line or a router's call monitor. A line raises its
/// events on the UI thread and never blocks it; it repairs itself after a loss.
class Line
{
public:
    virtual ~Line() = default;
    /// Where the line's events go; set before start().
    virtual void setCallEvents(CallEvents *events) = 0;
    /// Begins to attach to the line; returns at once.
    virtual void start() = 0;
    /// The window's one-second tick.
    virtual void tick() = 0;
    /// Detaches; returns within a bounded time even when the peer or a library hangs.
    virtual void stop() = 0;
    /// Which line it is, for the window: "CAPI" or "Anrufmonitor HOST:PORT".
    virtual std::string description() const = 0;
    /// What the user is told while the line is down, e.g. "Keine CAPI-Verbindung".
    virtual std::string downText() const = 0;
};
