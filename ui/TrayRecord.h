#pragma once

#include <string>
#include <string_view>

/// The program's one tray icon record: the tooltip and what the icon shows.
struct TrayRecord
{
    static constexpr int kTipChars = 63;

    std::string szTip;     // UTF-8, at most kTipChars characters
    std::string nameLine;  // the caller's name (or place) above szTip; not cut with it
    bool lineDown = false; // no call can arrive: the tray shows the greyed telephone
    /// Calls missed since the call list was last shown; the icon carries the count.
    int missedCount = 0;
    /// "3 verpasste Anrufe, zuletzt 10:15" while missedCount > 0, under the call; not cut.
    std::string missedLine;

    /// Counts a missed call at time ("10:15") into missedCount and missedLine.
    void addMissed(std::string_view time);
    /// No missed calls (the call list was shown).
    void clearMissed();

    /// Sets the tooltip to the first 63 characters (code points) of text.
    void setTip(std::string_view text);
    /// The tooltip as shown: the non-empty ones of nameLine, szTip and missedLine, one per
    /// line; while the line is down szTip holds why, and a name would only confuse it.
    std::string tooltipText() const;
};
