#pragma once

#include "phonebook/RefreshTimer.h"

#include <optional>

/// A repeating timer that ticks only when the test says an interval has passed.
class FakeRefreshTimer final : public RefreshTimer
{
public:
    std::optional<std::chrono::milliseconds> interval; // while started

    void start(std::chrono::milliseconds every, std::function<void()> tick) override
    {
        interval = every;
        m_tick = std::move(tick);
    }
    void stop() override
    {
        interval.reset();
        m_tick = nullptr;
    }
    /// Runs the tick as if an interval had passed.
    void fire() { m_tick(); }

private:
    std::function<void()> m_tick;
};
