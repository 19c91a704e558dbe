// The real klingelwacht in a real tray while its CAPI peer accepts the connection and
// never answers: the library's registration hangs, the program must not.
#include "tests/support/CapisimSession.h"

#include <csignal>
#include <regex>

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;

class HungPeer : public DesktopTest
{
protected:
    CapisimSession sim;
    std::string err() const { return readFile(dir.path() + "/kw.err"); }
};

TEST_F(HungPeer, TrayIconWindowAndEndWhileTheRegistrationHangs)
{
    sim.startFor(dir.path(), "", {"--never-answer"});
    startTrayer();

    const auto start = std::chrono::steady_clock::now();
    startApp();
    ASSERT_TRUE(waitUntil([&] { return iconWindow() != 0; }, 10s)) << err();
    const auto iconMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    RecordProperty("tray_icon_ms", static_cast<int>(iconMs));
    std::cout << "tray icon after " << iconMs << " ms\n";
    EXPECT_LT(iconMs, 2000);
    ASSERT_TRUE(sim.waitForEntry({"REGISTER", {{"ignored", "1"}}}, 0, 10s));

    // The registration hangs; the icon answers a click all the same.
    clickIcon({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); })) << err();

    const auto termAt = std::chrono::steady_clock::now();
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0) << err();
    EXPECT_LT(std::chrono::steady_clock::now() - termAt, 5s);
    const std::string log = readFile(binDir / "caller.log");
    static const std::regex end(R"(#  \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d   Ende\r\n$)");
    EXPECT_TRUE(std::regex_search(log, end)) << log;
}

} // namespace
