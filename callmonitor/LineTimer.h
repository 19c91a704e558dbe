#pragma once

#include <chrono>
#include <functional>

/// A single-shot timer on the UI thread's event loop.
class LineTimer
{
public:
    virtual ~LineTimer() = default;
    /// Runs action once after delay, replacing whatever was scheduled.
    virtual void startOnce(std::chrono::milliseconds delay, std::function<void()> action) = 0;
    /// Nothing scheduled runs.
    virtual void cancel() = 0;
};
