#pragma once

#include "base/SteadyClock.h"

/// A steady clock that shows the test's own time point, which the test moves on.
class FakeSteadyClock final : public SteadyClock
{
public:
    explicit FakeSteadyClock(const TimePoint &now) : m_now(now) {}
    TimePoint now() const override { return m_now; }

private:
    const TimePoint &m_now;
};
