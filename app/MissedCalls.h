#pragma once

#include <functional>
#include <string_view>

class Clock;
class Tray;
struct TrayRecord;

/// The calls missed since the call list was last shown, on the tray icon (a badge) and in
/// its tooltip. Kept for the running program only: a restart starts at none.
class MissedCalls
{
public:
    MissedCalls(Tray &tray, TrayRecord &record, const Clock &clock);

    /// Whether the person sees the call list now; calls missed meanwhile are not counted.
    void setListShown(std::function<bool()> isShown) { m_isShown = std::move(isShown); }
    /// A call ended with this handling text.
    void callCompleted(std::string_view handling);
    /// The call list was shown: the count, the badge and the tooltip line go.
    void clear();

private:
    Tray &m_tray;
    TrayRecord &m_record;
    const Clock &m_clock;
    std::function<bool()> m_isShown;
};
