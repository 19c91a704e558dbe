// The real program taking its calls from routersim's call monitor, in a real tray on Xvfb:
// the lock-key LEDs and the tray tooltip follow those calls as they follow CAPI calls.
#include "tests/support/RoutersimSession.h"

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;

class CallMonitorDesktop : public DesktopTest
{
protected:
    RoutersimSession sim;

    void startRouter(const std::string &scenario)
    {
        sim.start(scenario);
        std::ofstream(binDir / "klingelwacht.INI")
            << "[Setup]\r\nMSN1=4711\r\nMSN2=4712\r\nMSN3=4799\r\n"
            << "[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=" << sim.port() << "\r\n";
    }
    bool led(const char *name) const { return x->led(name).value_or(false); }
    /// Hovers over the icon until the tooltip shows; its width, 0 when none came.
    int tooltipWidth()
    {
        xdotool({"mousemove", "0", "400"});
        settle();
        const Rect r = x->geometry(iconWindow());
        xdotool({"mousemove", std::to_string(r.centreX() - 3), std::to_string(r.centreY() - 3)});
        xdotool({"mousemove", std::to_string(r.centreX()), std::to_string(r.centreY())});
        if (!waitUntil([&] { return !tooltips().empty(); }))
            return 0;
        return x->geometry(tooltips()[0]).width;
    }
};

TEST_F(CallMonitorDesktop, LockKeysAndTooltipFollowCallMonitorCalls)
{
    startRouter("wait-for-client\n"
                "sleep 6\n"
                "ring id=0 caller=0301234567890 called=5554711\n"
                "sleep 6\n"
                "ring id=1 caller= called=5554712\n"
                "sleep 0.3\n"
                "disconnect id=0\n"
                "disconnect id=1\n");
    startDocked();
    ASSERT_TRUE(waitUntil([&] { return sim.count("OPEN conn=") == 1; }, 10s));
    const int before = tooltipWidth(); // "<Kein Anruf>"
    ASSERT_GT(before, 0);
    EXPECT_FALSE(led("Num Lock"));
    EXPECT_FALSE(led("Caps Lock"));

    // The first call's called number holds MSN1: Num Lock, and the tooltip shows the call.
    ASSERT_TRUE(waitUntil([&] { return led("Num Lock"); }, 20s))
        << readFile(dir.path() + "/kw.err");
    EXPECT_FALSE(led("Caps Lock"));
    const int withCall = tooltipWidth();
    EXPECT_GT(withCall, before + 60) << "the tooltip does not show the call";
    screenshot("callmonitor-tooltip");

    // The second, withheld, holds MSN2: Caps Lock; Num Lock stays as it was.
    ASSERT_TRUE(waitUntil([&] { return led("Caps Lock"); }, 20s));
    EXPECT_TRUE(led("Num Lock"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return readFile(binDir / "caller.log").find("Unbekannt\t5554712") != std::string::npos;
        },
        10s));
    EXPECT_NE(readFile(binDir / "caller.log").find("0301234567890\t5554711"), std::string::npos);
}

} // namespace
