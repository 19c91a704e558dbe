#include "phonebook/QtRefreshTimer.h"

QtRefreshTimer::QtRefreshTimer()
{
    // An hour is long enough for the system's coarse timers to drift minutes.
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_tick)
            m_tick();
    });
}

void QtRefreshTimer::start(std::chrono::milliseconds interval, std::function<void()> tick)
{
    m_tick = std::move(tick);
    m_timer.start(interval);
}

void QtRefreshTimer::stop()
{
    m_timer.stop();
    m_tick = nullptr;
}
