#pragma once

#include "base/SteadyClock.h"

#include <chrono>

/// Whether the CAPI line is up, and when a registration may be tried again: never more
/// often than once per retry interval, counted from the end of the previous attempt.
class LineWatch
{
public:
    using TimePoint = SteadyClock::TimePoint;
    static constexpr std::chrono::seconds kRetryInterval{30};

    explicit LineWatch(const SteadyClock &clock = systemSteadyClock());

    /// An attempt ended now (or the line dropped): the interval starts again.
    void noteAttempt();
    /// Registration and listen request went through.
    void noteUp() { m_up = true; }
    /// The registration failed, or the line was found lost.
    void noteDown() { m_up = false; }

    bool isUp() const { return m_up; }
    TimePoint now() const { return m_clock->now(); }
    /// Down, and the previous attempt (if any) lies at least the retry interval back.
    bool isRetryDue() const;

private:
    const SteadyClock *m_clock;
    bool m_up = false;
    bool m_attempted = false;
    TimePoint m_lastAttempt{};
};
