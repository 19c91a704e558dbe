#pragma once

#include <string>
#include <string_view>

/// The program's one tray icon record: identifier, flags, callback code and tooltip.
struct TrayRecord
{
    static constexpr int kTipChars = 63;
    static constexpr unsigned kCallbackMouseMove = 512;

    unsigned uID = 1;
    unsigned uFlags = 7; // callback message, icon and tooltip valid
    unsigned uCallbackMessage = kCallbackMouseMove;
    std::string szTip; // UTF-8, at most kTipChars characters

    /// Sets the tooltip to the first 63 characters (code points) of text.
    void setTip(std::string_view text);
};
