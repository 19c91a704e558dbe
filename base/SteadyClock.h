#pragma once

#include <chrono>

/// The monotonic clock that intervals and timeouts are counted on; tests pass a fake.
class SteadyClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~SteadyClock() = default;
    virtual TimePoint now() const = 0;
};

/// The system's steady clock.
class SystemSteadyClock final : public SteadyClock
{
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

/// The system's steady clock has no state, so one instance serves every user.
inline const SteadyClock &systemSteadyClock()
{
    static const SystemSteadyClock clock;
    return clock;
}
