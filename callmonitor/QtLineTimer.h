#pragma once

#include "callmonitor/LineTimer.h"

#include <QObject>
#include <QTimer>

/// LineTimer on a single-shot QTimer.
class QtLineTimer final : public QObject, public LineTimer
{
public:
    QtLineTimer();
    void startOnce(std::chrono::milliseconds delay, std::function<void()> action) override;
    void cancel() override;

private:
    QTimer m_timer;
    std::function<void()> m_action;
};
