#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Where the router's call monitor is, from the settings file's section `Anrufmonitor`.
struct CallMonitorSettings
{
    static constexpr const char *kSection = "Anrufmonitor";
    static constexpr const char *kHostKey = "Host";
    static constexpr const char *kPortKey = "Port";
    static constexpr std::uint16_t kDefaultPort = 1012;

    std::string host; // empty: no call monitor, the program uses CAPI
    std::uint16_t port = kDefaultPort;

    bool isSet() const { return !host.empty(); }

    /// From the two values as read; blanks around them do not count, and a port that is
    /// missing or not a number from 1 to 65535 is the default.
    static CallMonitorSettings fromValues(std::string_view host, std::string_view port);
};
