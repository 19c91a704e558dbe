#pragma once

#include <string>
#include <string_view>

/// The program's one tray icon record: the tooltip and which icon.
struct TrayRecord
{
    static constexpr int kTipChars = 63;

    std::string szTip;     // UTF-8, at most kTipChars characters
    bool lineDown = false; // no call can arrive: the tray shows the greyed telephone

    /// Sets the tooltip to the first 63 characters (code points) of text.
    void setTip(std::string_view text);
    /// The tooltip as the tray shows it.
    std::string tooltipText() const;
};
