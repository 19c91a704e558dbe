// Every way the real klingelwacht ends, under a slow disk, a hanging name lookup, a hung
// CAPI registration or a lost X display: the cleared calls and the end marker are in
// caller.log, and the process is gone within 5 s of being asked.
#include "tests/desktop/faults/Faults.h"
#include "tests/support/SlowCalls.h"

namespace {

using namespace faults;

struct EndCase
{
    const char *name;
    std::string scenario;                 // capisim's; empty: no CAPI line
    std::vector<std::string> capisimArgs; // e.g. a registration that hangs
    std::string ini;                      // klingelwacht.INI
    SlowCalls slow;
    bool killX = false; // else SIGTERM
    int status = 0;
    std::vector<std::string> calls; // the call lines between the markers, as regexes
    const char *errHas = "";
};

const std::string kTwoCalls = "wait-for LISTEN_REQ timeout=30\n"
                              "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
                              "wait-for ALERT_REQ plci=0x101 timeout=30\n"
                              "disconnect plci=0x101 reason=0x349A\n"
                              "wait-for DISCONNECT_RESP plci=0x101 timeout=30\n"
                              "connect plci=0x102 called=346 calling=3099 ton=0x21 pi=0x80\n"
                              "wait-for ALERT_REQ plci=0x102 timeout=30\n"
                              "disconnect plci=0x102 reason=0x3490\n"
                              "wait-for DISCONNECT_RESP plci=0x102 timeout=30\n";

class Ending : public Faults, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(Ending, KeepsTheCallsAndTheEndMarkerAndEndsWithinFiveSeconds)
{
    const EndCase &c = GetParam();
    extraEnv = c.slow.env(dir.path());
    std::ofstream(binDir / "klingelwacht.INI") << c.ini;
    if (!c.scenario.empty() || !c.capisimArgs.empty())
        sim.startFor(dir.path(), c.scenario, c.capisimArgs);
    startDocked();
    if (c.calls.empty()) {
        ASSERT_TRUE(waitUntil([&] { return linesFrom(readFile(log())).size() == 1; })) << err();
    } else {
        ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x102"}}}, 0, 60s))
            << err();
        std::this_thread::sleep_for(300ms);
    }

    const auto askedAt = std::chrono::steady_clock::now();
    if (c.killX) {
        x.reset();
        xserver.kill();
    } else {
        app.signal(SIGTERM);
    }
    ASSERT_EQ(app.wait(20s), c.status) << err();
    const auto took = std::chrono::steady_clock::now() - askedAt;
    RecordProperty(
        "end_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_LT(took, 5s);

    const auto lines = linesFrom(readFile(log()));
    ASSERT_EQ(lines.size(), c.calls.size() + 2) << readFile(log()) << err();
    EXPECT_TRUE(isMarker(lines.front(), "Start")) << lines.front();
    for (std::size_t i = 0; i < c.calls.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex(c.calls[i]))) << lines[i + 1];
    EXPECT_TRUE(isMarker(lines.back(), "Ende")) << lines.back();
    EXPECT_NE(err().find(c.errHas), std::string::npos) << err();
    // A line written is never named as missing: pasted back it would be doubled.
    EXPECT_EQ(err().find("fehlen darin"), std::string::npos) << err();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Ending,
    ::testing::Values(
        // xcb ends the process with exit(1) when the display goes.
        EndCase{
            "XLostOnASlowDisk",
            kTwoCalls,
            {},
            "",
            {2000, "", 0},
            true,
            1,
            {"03012345\t345\t.*\tAngenommen am S0-Bus", "03099\t346\t.*\tAnrufer hat aufgelegt"}},
        // The CAPI stop waits 2 s, the disk takes 4 s per sync: the two share the 5 s, and
        // the end marker, in the file but not synced, is named as such.
        EndCase{"HungRegistrationOnASlowDisk",
                "",
                {"--never-answer"},
                "",
                {4000, "", 0},
                false,
                0,
                {},
                "geschrieben, aber nicht bestätigt"},
        // Qt's host-lookup thread would hold the end until the lookup gives up.
        EndCase{"HangingHostLookup",
                "",
                {},
                "[Anrufmonitor]\r\nHost=hang.klingelwacht.invalid\r\nPort=1012\r\n",
                {0, "hang.klingelwacht.invalid", 60000},
                false,
                0,
                {}}),
    [](const auto &param) { return std::string(param.param.name); });

} // namespace
