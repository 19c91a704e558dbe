#pragma once

#include "base/UniqueFd.h"

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

/// One running program per program directory: two would register twice and log every
/// call twice. The first holds a lock file there and listens on a local socket; a
/// later start asks it to show its window and ends. Without a lock no program runs.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &programDir, QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        First,  ///< this process runs
        Second, ///< another one runs for the directory and was asked to show its window
        NoLock, ///< the lock file cannot be had (said on stderr); this process must not run
    };
    Claim claim();
    /// Lets the next start run: the local socket and the lock are given up.
    void release();
    const QString &lockPath() const { return m_lockPath; }
    const QString &serverName() const { return m_serverName; }
    /// Called in the first instance when a later start asks for the window.
    void setShowRequestHandler(std::function<void()> handler) { m_onShow = std::move(handler); }

private:
    void listen();

    QString m_lockPath;
    QString m_serverName;
    UniqueFd m_lockFd;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_onShow;
};
