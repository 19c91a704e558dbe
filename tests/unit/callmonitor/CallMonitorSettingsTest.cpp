#include "callmonitor/CallMonitorSettings.h"

#include <gtest/gtest.h>

namespace {

struct SettingsCase
{
    const char *host;
    const char *port;
    const char *wantHost;
    int wantPort;
};

TEST(CallMonitorSettings, HostAndPortFromTheirValues)
{
    const SettingsCase cases[] = {
        {"fritz.box", "", "fritz.box", 1012},
        {"192.168.178.1", "1012", "192.168.178.1", 1012},
        {" router ", " 5012 ", "router", 5012},
        {"r", "65535", "r", 65535},
        {"r", "65536", "r", 1012},
        {"r", "0", "r", 1012},
        {"r", "12a", "r", 1012},
        {"r", "-5", "r", 1012},
        {"r", "000080", "r", 1012}, // more than five digits
        {"", "1012", "", 1012},
        {"  ", "", "", 1012},
    };
    for (const auto &c : cases) {
        const auto s = CallMonitorSettings::fromValues(c.host, c.port);
        EXPECT_EQ(s.host, c.wantHost) << c.host << "|" << c.port;
        EXPECT_EQ(s.port, c.wantPort) << c.host << "|" << c.port;
        EXPECT_EQ(s.isSet(), *c.wantHost != '\0');
    }
}

} // namespace
