#pragma once

#include <array>
#include <functional>
#include <string>

/// What the settings dialog shows and edits, as plain values: the settings file's entries
/// as texts (as read, so an unchanged entry compares equal) and the autostart switch.
struct SettingsValues
{
    static constexpr std::size_t kVCards = 9;

    bool callMonitor = false;                // the router's call monitor rather than CAPI
    std::string host;                        // [Anrufmonitor] Host
    std::string port;                        // [Anrufmonitor] Port; empty: the default
    std::array<std::string, kVCards> vCards; // [Telefonbuch] vCard1..vCard9, files or folders
    bool router = false;                     // [Telefonbuch] Router=1
    std::string user;                        // [Telefonbuch] Benutzer
    std::string tr064Port;                   // [Telefonbuch] TR064Port
    std::string areaCode;                    // [Telefonbuch] Ortsvorwahl
    std::string countryCode;                 // [Telefonbuch] Landesvorwahl
    std::array<std::string, 3> msn;          // [Setup] MSN1..MSN3
    bool notifications = true;               // [Setup] Benachrichtigung (0: off)
    bool autostart = true;                   // no autostart override hides the entry

    bool operator==(const SettingsValues &) const = default;
};

/// What the dialog asks of the rest of the program. Every member may be empty: the dialog
/// then offers what depends on it disabled.
struct SettingsHooks
{
    using Done = std::function<void(const std::string &text)>;
    /// Tries the line that values describe, leaving the running one alone, and calls done
    /// on the UI thread within 5 s with the text to show.
    std::function<void(const SettingsValues &values, Done done)> checkLine;
    /// Writes after and makes it take effect; "" when done, otherwise the message to show
    /// (the file and the program are then left as they were).
    std::function<std::string(const SettingsValues &before, const SettingsValues &after)> apply;
    /// Keeps the router password outside the settings file; "" or the message to show.
    std::function<std::string(const std::string &user, const std::string &password)> storePassword;
    /// Fetches the router's phonebooks now; done gets the text to show.
    std::function<void(Done done)> fetchRouterNow;
    /// Asks for a vCard file (folder false) or folder; "" when the user cancelled.
    std::function<std::string(bool folder)> chooseVCard;
};
