#pragma once

#include <ctime>

/// The wall clock as the call log and the call handlers see it; tests pass a fake.
class Clock
{
public:
    virtual ~Clock() = default;
    /// The current local time, broken down.
    virtual std::tm localNow() const = 0;
};

/// The system clock in the process's time zone.
class SystemClock final : public Clock
{
public:
    std::tm localNow() const override
    {
        const std::time_t t = std::time(nullptr);
        std::tm out{};
        localtime_r(&t, &out);
        return out;
    }
};
