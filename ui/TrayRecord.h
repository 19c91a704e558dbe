#pragma once

#include <string>
#include <string_view>

/// The program's one tray icon record: the tooltip and which icon.
struct TrayRecord
{
    static constexpr int kTipChars = 63;

    std::string szTip;     // UTF-8, at most kTipChars characters
    std::string nameLine;  // the caller's name (or place) above szTip; not cut with it
    bool lineDown = false; // no call can arrive: the tray shows the greyed telephone

    /// Sets the tooltip to the first 63 characters (code points) of text.
    void setTip(std::string_view text);
    /// The tooltip as shown: the non-empty ones of nameLine and szTip, one per line; while
    /// the line is down szTip holds why, and a caller's name would only confuse it.
    std::string tooltipText() const;
};
