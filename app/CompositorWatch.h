#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

/// Notices that the Wayland compositor is gone before Qt does: Qt's Wayland plugin ends
/// the process with _exit() then, and no exit handler runs. Watches the socket of Qt's own
/// connection for the hang-up, from a thread of its own and before every event the UI
/// thread handles (Qt learns of the loss through a queued call), and runs onHangUp first.
class CompositorWatch final : public QObject
{
    Q_OBJECT
public:
    /// Watches when the program runs on Wayland and its connection is found; else nothing.
    /// onHangUp runs once, on either thread, and may end the process.
    static std::unique_ptr<CompositorWatch> create(std::function<void()> onHangUp);
    /// The descriptor of this process's connection to the compositor at socketPath, or -1.
    static int findConnection(const std::string &socketPath);
    ~CompositorWatch() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CompositorWatch(int fd, std::function<void()> onHangUp);
    bool hungUp(int timeoutMs) const;
    void hangUp();

    int m_fd;
    int m_stopFd;
    std::function<void()> m_onHangUp;
    std::once_flag m_once;
    std::thread m_thread;
};
