#include "callmonitor/QtLineTimer.h"

QtLineTimer::QtLineTimer()
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        // The action may schedule the next one: it runs from a copy.
        auto action = std::move(m_action);
        m_action = nullptr;
        if (action)
            action();
    });
}

void QtLineTimer::startOnce(std::chrono::milliseconds delay, std::function<void()> action)
{
    m_action = std::move(action);
    m_timer.start(delay);
}

void QtLineTimer::cancel()
{
    m_timer.stop();
    m_action = nullptr;
}
