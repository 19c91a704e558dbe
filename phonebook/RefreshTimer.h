#pragma once

#include <chrono>
#include <functional>

/// A repeating timer on the owner's event loop (the hourly refresh).
class RefreshTimer
{
public:
    virtual ~RefreshTimer() = default;
    /// Runs tick every interval from now on, replacing what ran before.
    virtual void start(std::chrono::milliseconds interval, std::function<void()> tick) = 0;
    /// Nothing runs any more.
    virtual void stop() = 0;
};
