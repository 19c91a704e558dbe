#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

/// One running program per program directory: two would register twice and log every
/// call twice. The first holds a lock file there and listens on a local socket; a
/// later start asks it to show its window and ends.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &programDir, QObject *parent = nullptr);
    ~SingleInstance() override;

    /// True when this process is the first; false when another one runs for the
    /// directory (that one has then been asked to show its window).
    bool claim();
    /// Called in the first instance when a later start asks for the window.
    void setShowRequestHandler(std::function<void()> handler) { m_onShow = std::move(handler); }

private:
    void listen();

    QString m_lockPath;
    QString m_serverName;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_onShow;
};
