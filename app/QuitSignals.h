#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop, so that ending the
/// program by a signal runs the same orderly shutdown as the menu.
class QuitSignals final : public QObject
{
    Q_OBJECT
public:
    explicit QuitSignals(std::function<void()> onQuit, QObject *parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> m_onQuit;
    QSocketNotifier *m_notifier = nullptr;
};
