#pragma once

#include "phonebook/RefreshTimer.h"

#include <QObject>
#include <QTimer>

/// RefreshTimer on a QTimer.
class QtRefreshTimer final : public QObject, public RefreshTimer
{
public:
    QtRefreshTimer();
    void start(std::chrono::milliseconds interval, std::function<void()> tick) override;
    void stop() override;

private:
    QTimer m_timer;
    std::function<void()> m_tick;
};
