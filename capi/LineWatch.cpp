#include "capi/LineWatch.h"

LineWatch::LineWatch(Clock clock) : m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return std::chrono::steady_clock::now(); };
}

void LineWatch::noteAttempt()
{
    m_attempted = true;
    m_lastAttempt = m_clock();
}

bool LineWatch::isRetryDue() const
{
    if (m_up)
        return false;
    return !m_attempted || m_clock() - m_lastAttempt >= kRetryInterval;
}
