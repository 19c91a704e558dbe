#pragma once

#include "ui/CallNotifier.h"
#include "ui/LineNotifier.h"

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

class QDBusPendingCall;
class QDBusPendingCallWatcher;

/// Incoming calls as freedesktop notifications (org.freedesktop.Notifications over the
/// session bus). Every call goes out asynchronously: the UI thread never waits for the
/// notification server, and a clearing that comes before the server has answered with
/// the notification's id is sent as soon as the id is known. The same holds for the
/// notification of a line that is down and its replacement when the line is back.
class DesktopNotifier final : public QObject, public CallNotifier, public LineNotifier
{
    Q_OBJECT
public:
    /// icon is sent as the notification's image, beside the application id as its icon name.
    explicit DesktopNotifier(QImage icon, QDBusConnection bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void callArrived(std::uint64_t callKey, const std::string &caller, const std::string &msn,
                     const std::string &time) override;
    void callArrivedFrom(std::uint64_t callKey, const std::string &caller, const std::string &msn,
                         const std::string &time, const CallerDetails &details) override;
    void callEnded(std::uint64_t callKey, const std::string &handling) override;
    void lineDown(const std::string &why) override;
    void lineBack(const std::string &line) override;

    static constexpr const char *kLineDownSummary = "Klingelwacht hört keine Anrufe";
    static constexpr const char *kLineBackSummary = "Wieder verbunden";

    /// Runs when the user chooses a notification's default action, "Anzeigen".
    void setShowHandler(std::function<void()> handler) { m_showHandler = std::move(handler); }

    /// Texts of a call's notification; the body gains the handling text at the clearing.
    static QString summaryText(const std::string &caller);
    static QString bodyText(const std::string &msn, const std::string &time,
                            const std::optional<std::string> &handling = std::nullopt);
    /// The body's first line for a caller the address books were asked about: the number,
    /// and the place when no name is known ("030 1234567, Berlin").
    static QString callerLine(const CallerDetails &details);

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Call
    {
        QString summary;
        QString callerLine; // empty for a caller the address books were not asked about
        std::string msn;
        std::string time;
        uint id = 0;                         // 0 while the server has not answered yet
        std::optional<std::string> handling; // set by a clearing that waits for the id
        bool dismissed = false;
    };

    void notify(std::uint64_t callKey, uint replacesId, const QString &summary, const QString &body,
                int expireMs);
    QDBusPendingCall send(uint replacesId, const QString &summary, const QString &body,
                          int expireMs);
    void onLineDownFinished(QDBusPendingCallWatcher *watcher);
    /// Runs handler with the call's watcher once the call has finished.
    void watch(const QDBusPendingCall &call,
               std::function<void(QDBusPendingCallWatcher *)> handler);
    void onNotifyFinished(std::uint64_t callKey, QDBusPendingCallWatcher *watcher);
    /// Replaces the call's notification with the ended one and forgets the call.
    void sendEnded(std::map<std::uint64_t, Call>::iterator it, const std::string &handling);
    void reportUnavailable(const QString &why);

    QImage m_icon;
    QDBusConnection m_bus;
    std::map<std::uint64_t, Call> m_calls;
    /// Ids of our notifications the server still shows; actions on others are not ours.
    std::set<uint> m_shown;
    std::function<void()> m_showHandler;
    /// The outage notification: its id (0 until the server has answered), and the line
    /// that came back before that answer.
    struct Outage
    {
        uint id = 0;
        std::optional<std::string> backLine;
    };
    std::optional<Outage> m_outage;
    bool m_reported = false;
};
