#pragma once

#include "base/SteadyClock.h"

#include <chrono>
#include <functional>
#include <string>

class Clock;
class LineNotifier;
class Tray;
struct TrayRecord;

/// Whether calls can arrive, shown where the user looks: the tray's icon and tooltip, the
/// window's status bar and, after a long outage, a desktop notification. Without it a line
/// that never came up looked like a quiet day ("<Kein Anruf>").
///
/// A started line counts as down when it is not up within kStartGrace (so a normal start
/// does not flicker), and from a loss until it is up again.
class LineStatus final
{
public:
    static constexpr std::chrono::seconds kStartGrace{10};
    /// Down this long without a break: the desktop is told, once per outage.
    static constexpr std::chrono::seconds kNotifyAfter{60};

    struct Parts
    {
        Tray &tray;
        TrayRecord &trayRecord;
        const SteadyClock &steadyClock;
        const Clock &clock; // for the time shown since when the line is up
    };

    explicit LineStatus(Parts parts);

    /// Where the outage notification goes; none unless set.
    void setNotifier(LineNotifier *notifier) { m_notifier = notifier; }
    /// Shows a text in the window's status bar.
    void setStatusView(std::function<void(const std::string &)> view);

    /// A line was started: description says which ("CAPI", "Anrufmonitor HOST:PORT"),
    /// downText what the user is told while it is down.
    void lineStarted(std::string description, std::string downText);
    void onLineUp();
    void onLineLost();
    /// The window's one-second tick: the start grace and the notification are timed here.
    void tick();

    bool isDown() const { return m_state == State::Down; }
    const std::string &statusText() const { return m_statusText; }

private:
    enum class State { NoLine, Starting, Up, Down };

    void goDown();
    void show(const std::string &status);

    Parts m;
    LineNotifier *m_notifier = nullptr;
    std::function<void(const std::string &)> m_view;
    State m_state = State::NoLine;
    std::string m_description;
    std::string m_downText;
    SteadyClock::TimePoint m_since{}; // of the start, or of the outage
    std::string m_tipBeforeDown;
    std::string m_downTip;
    bool m_notified = false; // the current outage has been told to the desktop
    std::string m_statusText;
};
