#pragma once

#include "callmonitor/LineTimer.h"

#include <optional>

/// A timer that runs its action only when the test says the time has come.
class FakeLineTimer final : public LineTimer
{
public:
    std::optional<std::chrono::milliseconds> pending; // the delay of what is scheduled

    void startOnce(std::chrono::milliseconds delay, std::function<void()> action) override
    {
        pending = delay;
        m_action = std::move(action);
    }
    void cancel() override
    {
        pending.reset();
        m_action = nullptr;
    }
    /// Runs what is scheduled, as if its delay had passed; false when nothing is.
    bool fire()
    {
        if (!m_action)
            return false;
        auto action = std::move(m_action);
        m_action = nullptr;
        pending.reset();
        action();
        return true;
    }

private:
    std::function<void()> m_action;
};
