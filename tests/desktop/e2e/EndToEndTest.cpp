// The whole program: the real klingelwacht on the real libcapi20 against capisim, in a
// real tray on Xvfb, ended as a user ends it.
#include "tests/support/CapisimSession.h"

#include <csignal>
#include <cstdlib>
#include <regex>

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;
using capisim::Condition;

// Six calls: withheld numbers of every kind, national and international callers, every
// handling text, an INFO_IND, and two overlapping calls. Each step waits for the program's
// answer, so the test follows events, not clocks.
const char *kScenario = R"(wait-for LISTEN_REQ timeout=30
connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80
wait-for ALERT_REQ plci=0x101 timeout=30
disconnect plci=0x101 reason=0x349A
wait-for DISCONNECT_RESP plci=0x101 timeout=30
connect plci=0x102 called=345 calling=493012345678 ton=0x11 pi=0x80
wait-for ALERT_REQ plci=0x102 timeout=30
info plci=0x102 number=5
wait-for INFO_RESP plci=0x102 timeout=30
disconnect plci=0x102 reason=0x3490
wait-for DISCONNECT_RESP plci=0x102 timeout=30
connect plci=0x103 called=346 calling= ton=0x81 pi=0xA0
wait-for ALERT_REQ plci=0x103 timeout=30
disconnect plci=0x103 reason=0x3304
wait-for DISCONNECT_RESP plci=0x103 timeout=30
connect plci=0x104 called=345 calling= ton=0 pi=0x20
wait-for ALERT_REQ plci=0x104 timeout=30
disconnect plci=0x104 reason=0x349F
wait-for DISCONNECT_RESP plci=0x104 timeout=30
connect plci=0x105 called=345 calling=301998877 ton=0x21 pi=0x80
wait-for ALERT_REQ plci=0x105 timeout=30
connect plci=0x106 called=347 calling= ton=0x80 pi=0x20
wait-for ALERT_REQ plci=0x106 timeout=30
disconnect plci=0x105 reason=0x34E6
wait-for DISCONNECT_RESP plci=0x105 timeout=30
disconnect plci=0x106 reason=0x3491
wait-for DISCONNECT_RESP plci=0x106 timeout=30
)";

// caller, MSN, handling of the completed lines, in the order they must reach the log.
const std::vector<std::array<const char *, 3>> kExpected = {
    {"03012345", "345", "Angenommen am S0-Bus"},
    {"0493012345678", "345", "Anrufer hat aufgelegt"},
    {"ISDN Hidden", "346", "Angenommen am Computer"},
    {"Unbekannt", "345", "Anruf umgeleitet"},
    {"0301998877", "345", "Abbruch durch VSt"},
    {"HideCode  128", "347", "13457"},
};

std::vector<std::string> logLines(const fs::path &log)
{
    std::vector<std::string> lines;
    const std::string text = readFile(log);
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    EXPECT_EQ(at, text.size()) << "the log ends in a line without CR LF";
    return lines;
}

bool isMarker(const std::string &line, const char *word)
{
    static const std::regex marker(R"(#  \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d   (Start|Ende))");
    return std::regex_match(line, marker) && line.ends_with(word);
}

class EndToEnd : public DesktopTest
{
protected:
    CapisimSession sim;

    void SetUp() override
    {
        DesktopTest::SetUp();
        // German dates and times, as a German user sees them.
        extraEnv = {"LC_ALL=de_DE.UTF-8"};
    }

    void startLine(const std::string &scenario) { sim.startFor(dir.path(), scenario); }
    fs::path log() const { return binDir / "caller.log"; }
    int count(const std::string &name) const { return sim.count(Condition{name, {}}); }
    std::string plciOf(const std::string &name, int n) const
    {
        const auto e = sim.waitForEntry(Condition{name, {}}, n, 1s);
        if (!e)
            return "none";
        const auto it = e->fields.find("plci");
        return it == e->fields.end() ? "none" : it->second;
    }
    void chooseBeenden()
    {
        clickIcon({"click", "3"});
        ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
        xdotool({"type", "b"});
    }
};

TEST_F(EndToEnd, SixCallsReachTheLogAndTheLineInOrder)
{
    startLine(kScenario);
    startDocked();
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x106"}}}, 0, 90s))
        << readFile(dir.path() + "/kw.err");

    // The counter and the call list, for a person to look at.
    clickIcon({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    settle();
    screenshot("e2e-call-list");

    chooseBeenden();
    ASSERT_EQ(app.wait(15s), 0);

    const auto lines = logLines(log());
    ASSERT_EQ(lines.size(), kExpected.size() + 2) << readFile(log());
    EXPECT_TRUE(isMarker(lines.front(), "Start")) << lines.front();
    EXPECT_TRUE(isMarker(lines.back(), "Ende")) << lines.back();
    for (std::size_t i = 0; i < kExpected.size(); ++i) {
        const auto &[caller, msn, handling] = kExpected[i];
        const std::regex expected(std::string(caller) + "\t" + msn +
                                  R"(\t\d\d\.\d\d\.\d{4}\t\d\d:\d\d:\d\d\t)" + handling);
        EXPECT_TRUE(std::regex_match(lines[i + 1], expected)) << i << ": " << lines[i + 1];
    }

    EXPECT_EQ(count("REGISTER"), 1);
    EXPECT_EQ(count("LISTEN_REQ"), 1);
    EXPECT_EQ(count("ALERT_REQ"), 6);
    EXPECT_EQ(count("INFO_RESP"), 1);
    EXPECT_EQ(count("DISCONNECT_RESP"), 6);
    EXPECT_EQ(count("RELEASE"), 1);
    const char *plcis[] = {"0x101", "0x102", "0x103", "0x104", "0x105", "0x106"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(plciOf("ALERT_REQ", i), plcis[i]);
        EXPECT_EQ(plciOf("DISCONNECT_RESP", i), plcis[i]);
    }
    EXPECT_EQ(plciOf("INFO_RESP", 0), "0x102");
}

// The next start shows the calls of the first; a second program for the same directory
// meanwhile ends at once without touching the line or the log.
TEST_F(EndToEnd, NextRunLoadsTheLogAndASecondInstanceEndsAtOnce)
{
    startLine("wait-for LISTEN_REQ timeout=30\n"
              "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x101 timeout=30\n"
              "disconnect plci=0x101 reason=0x349A\n");
    startDocked();
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 60s));

    ChildProcess second;
    second.start({(binDir / "klingelwacht").string()}, env(), "/dev/null", dir.path() + "/kw2.err",
                 binDir.string());
    EXPECT_EQ(second.wait(10s), 0);
    // Asked to show itself, the first program's window comes up.
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_EQ(count("REGISTER"), 1);

    chooseBeenden();
    ASSERT_EQ(app.wait(15s), 0);
    auto lines = logLines(log());
    ASSERT_EQ(lines.size(), 3u) << readFile(log());

    // The second run: the window shows the call of the first.
    startApp();
    ASSERT_TRUE(waitUntil([&] { return iconWindow() != 0; }));
    clickIcon({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    settle();
    screenshot("e2e-second-run");
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0);
    lines = logLines(log());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(isMarker(lines[3], "Start"));
    EXPECT_TRUE(isMarker(lines[4], "Ende"));
}

TEST_F(EndToEnd, SigtermEndsInOrder)
{
    startLine("wait-for LISTEN_REQ timeout=30\n");
    startDocked();
    ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 30s));
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0);
    const auto lines = logLines(log());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(isMarker(lines[1], "Ende"));
    EXPECT_TRUE(sim.waitForEntry(Condition{"RELEASE", {}}, 0, 5s).has_value());
}

// Without the CAPI library the program starts, then its first tick ends it with the
// fatal report: a message box, the text on stderr, status 1, and no shutdown.
TEST_F(EndToEnd, MissingCapiLibraryIsReportedAtTheFirstTick)
{
    extraEnv.push_back(std::string("LD_PRELOAD=") + KW_NOCAPI_PRELOAD_PATH);
    // In the sanitizer build the preload stands before the ASan runtime, which is fine here.
    const char *asan = std::getenv("ASAN_OPTIONS");
    extraEnv.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                       "verify_asan_link_order=0");
    startDocked();
    ASSERT_TRUE(waitUntil([&] {
        return readFile(dir.path() + "/kw.err").find("Laufzeitfehler") != std::string::npos;
    })) << readFile(dir.path() + "/kw.err");
    Window box = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (Window w : appWindows())
            if (x->parentOf(w) == x->root() && x->isViewable(w) && x->nameOf(w) == "Klingelwacht")
                box = w;
        return box != 0;
    }));
    screenshot("e2e-fatal-report");
    xdotool({"windowfocus", "--sync", std::to_string(box)});
    xdotool({"key", "Return"});
    EXPECT_EQ(app.wait(15s), 1);
    const auto lines = logLines(log());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isMarker(lines[0], "Start"));
}

} // namespace
