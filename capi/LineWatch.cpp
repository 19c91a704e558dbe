#include "capi/LineWatch.h"

LineWatch::LineWatch(const SteadyClock &clock) : m_clock(&clock) {}

void LineWatch::noteAttempt()
{
    m_attempted = true;
    m_lastAttempt = m_clock->now();
}

bool LineWatch::isRetryDue() const
{
    if (m_up)
        return false;
    return !m_attempted || m_clock->now() - m_lastAttempt >= kRetryInterval;
}
