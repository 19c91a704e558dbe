#pragma once

#include "calllog/CallLine.h"
#include "line/CallEvents.h"
#include "ui/CallNotifier.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class CallLog;
class CallViews;
class Clock;
class LineStatus;
class LockKeySignaller;
class MissedCalls;
class Tray;
struct TrayRecord;

/// The calls the program follows: every call shown and not yet cleared.
struct CallState
{
    struct OpenCall
    {
        CallLine record;     // the call, its handling still open
        std::uint64_t order; // how many calls came before it in this run
        int listIndex;       // its item in the hidden list
    };

    /// Calls shown but not cleared, by the line's identity of the call.
    std::map<std::uint32_t, OpenCall> open;
    /// Calls shown in this run; each one sits one grid row below the calls after it.
    std::uint64_t shown = 0;
};

/// What the program does with a line's calls, whatever the kind of line: the grid, the
/// list, the lock keys, the tray tooltip, the notification, the log and the counter.
class CallHandling final : public CallEvents
{
public:
    /// Open calls beyond this many (never cleared) are completed as lost, oldest first.
    static constexpr std::size_t kMaxOpenCalls = 64;
    /// How a call ends that its line can no longer clear.
    static constexpr const char *kLostHandling = "Verbindung verloren";

    struct Parts
    {
        CallState &calls;
        CallViews &views;
        LockKeySignaller &lockKeys;
        Tray &tray;
        TrayRecord &trayRecord;
        CallLog &log;
        const Clock &clock;
        int &callCounter;
    };

    explicit CallHandling(Parts parts);

    /// Where notifications go; none unless set.
    void setNotifier(CallNotifier *notifier) { m_notifier = notifier; }
    /// Where the line's ups and losses are shown as well; nowhere unless set.
    void setLineStatus(LineStatus *status) { m_lineStatus = status; }
    /// Runs whenever the line is up (again); nothing unless set.
    void setLineUpListener(std::function<void()> listener)
    {
        m_lineUpListener = std::move(listener);
    }
    /// What the address books say of a caller, for the tooltip and the notification; none
    /// unless set, and then every text stays as it was without address books.
    void setCallerDetails(std::function<std::optional<CallerDetails>(std::string_view)> details)
    {
        m_details = std::move(details);
    }
    /// Names the tooltip's call anew (the address books have changed).
    void refreshNames();
    /// Who counts the missed calls; none unless set.
    void setMissedCalls(MissedCalls *missed) { m_missed = missed; }

    void onIncomingCall(const IncomingCall &call) override;
    void onCallCleared(const CallCleared &clearing) override;
    void onLineUp() override;
    /// Calls open on a lost line are completed as lost, so every shown call is logged.
    void onLineLost() override;

private:
    void complete(const CallState::OpenCall &call, const std::string &handling);

    Parts m;
    /// The tooltip's line for a caller: the name, else the place in parentheses.
    std::string nameLine(const std::optional<CallerDetails> &details) const;

    CallNotifier *m_notifier = nullptr;
    LineStatus *m_lineStatus = nullptr;
    std::function<void()> m_lineUpListener;
    std::function<std::optional<CallerDetails>(std::string_view)> m_details;
    std::optional<std::string> m_tipCaller; // the caller the tooltip shows
    MissedCalls *m_missed = nullptr;
};
