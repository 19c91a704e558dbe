// Thousands of calls through the real libcapi20 and capisim, the pump driven directly:
// nothing may be lost, every indication answered, and memory must not creep.
#include "app/CallHandling.h"
#include "calllog/CallLog.h"
#include "capi/CapiLine.h"
#include "capi/Libcapi20Capi.h"
#include "settings/LockKeySignaller.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/support/CapisimSession.h"
#include "tests/support/Watchdog.h"
#include "ui/MainWindowViews.h"
#include "ui/Tray.h"
#include "ui/TrayRecord.h"

#include <QWidget>
#include <clocale>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

/// A tray that only counts, so the soak measures the program's memory, not the fake's.
class CountingTray final : public Tray
{
public:
    int modifies = 0;
    void add(const TrayRecord &) override {}
    void modify(const TrayRecord &) override { ++modifies; }
    void remove(const TrayRecord &) override {}
    bool isIconShown() const override { return true; }
    void showMessage(std::string_view, std::string_view) override {}
    void setCallback(std::function<void(int)>) override {}
};

/// Resident memory of the process, in KiB.
long residentKiB(const char *field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

int soakCalls()
{
    const char *n = std::getenv("KW_SOAK_CALLS");
    return n ? std::max(2, std::atoi(n)) : 10000;
}

TEST(Soak, TenThousandCallsLoseNothing)
{
    std::setlocale(LC_TIME, "C");
    const int calls = soakCalls() / 2 * 2;
    // Pairs of overlapping calls, cleared in the order they came, an INFO_IND in each pair.
    // Each pair waits for its last response, so the peer never runs far ahead.
    std::ostringstream scenario;
    scenario << "wait-for LISTEN_REQ timeout=30\n";
    for (int i = 0; i < calls; i += 2) {
        scenario << "connect plci=0x101 called=345 calling=" << 300000 + i << " ton=0x21 pi=0x80\n"
                 << "connect plci=0x201 called=346 calling=" << 300001 + i << " ton=0x21 pi=0x80\n"
                 << "info plci=0x101 number=" << (i % 60000) << "\n"
                 << "disconnect plci=0x101 reason=0x3490\n"
                 << "disconnect plci=0x201 reason=0x349A\n"
                 << "wait-for DISCONNECT_RESP plci=0x201 timeout=30\n";
    }

    CapisimSession sim;
    sim.start(scenario.str(), {"--applid", std::to_string(CapisimSession::ownApplId())});

    Libcapi20Capi capi;
    CapiState state;
    CallState callState;
    // The line as the program runs it: the library on its own thread.
    CapiLine line(capi, state);
    QWidget window;
    MainWindowViews views(window);
    views.SetupCallGrid();
    FakeKeyboard keyboard;
    LockKeyFlags flags;
    LockKeySignaller lockKeys(keyboard, flags);
    CountingTray tray;
    TrayRecord trayRecord;
    CallLog log(sim.path("caller.log"));
    FakeClock clock;
    int counter = 0;
    CallHandling handling(
        CallHandling::Parts{callState, views, lockKeys, tray, trayRecord, log, clock, counter});
    line.setCallEvents(&handling);
    line.start();

    Watchdog watchdog(600s, "the soak");
    long afterFirstThousand = 0;
    long anonAfterFirstThousand = 0;
    const auto deadline = std::chrono::steady_clock::now() + 500s;
    while (counter < calls && std::chrono::steady_clock::now() < deadline) {
        const int before = counter;
        line.Get_Capi_Message();
        if (counter == before)
            std::this_thread::sleep_for(20us);
        if (afterFirstThousand == 0 && counter >= std::min(1000, calls)) {
            afterFirstThousand = residentKiB();
            anonAfterFirstThousand = residentKiB("RssAnon:");
        }
    }
    // Measured before the test reads the transcript and the log, which cost memory too.
    const long atEnd = residentKiB();
    const long anonAtEnd = residentKiB("RssAnon:");
    ASSERT_EQ(counter, calls);
    ASSERT_TRUE(sim.waitForEntry({"DISCONNECT_RESP", {}}, calls - 1, 30s).has_value());

    // Exactly the expected lines, in order.
    std::ifstream in(sim.path("caller.log"), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ostringstream expected;
    for (int i = 0; i < calls; i += 2) {
        expected << "0" << 300000 + i << "\t345\t12/30/00\t14:05:09\tAnrufer hat aufgelegt\r\n"
                 << "0" << 300001 + i << "\t346\t12/30/00\t14:05:09\tAngenommen am S0-Bus\r\n";
    }
    EXPECT_TRUE(text == expected.str()) << "the log differs from the calls played";
    EXPECT_EQ(views.ListCount(), calls);
    EXPECT_EQ(tray.modifies, calls);

    EXPECT_EQ(sim.count({"ALERT_REQ", {}}), calls);
    EXPECT_EQ(sim.count({"DISCONNECT_RESP", {}}), calls);
    EXPECT_EQ(sim.count({"INFO_RESP", {}}), calls / 2);

    RecordProperty("calls", calls);
    RecordProperty("rss_kib_after_1000", static_cast<int>(afterFirstThousand));
    RecordProperty("rss_kib_at_end", static_cast<int>(atEnd));
    // The grid and the list keep every call (about 200 bytes each): that growth is wanted.
    std::printf("soak: %d calls, RSS %ld KiB after 1000, %ld KiB at the end "
                "(anonymous %ld -> %ld KiB)\n",
                calls, afterFirstThousand, atEnd, anonAfterFirstThousand, anonAtEnd);
    // AddressSanitizer holds freed memory in quarantine: memory says nothing there.
#if !defined(__SANITIZE_ADDRESS__)
    if (calls >= 10000) {
        EXPECT_LE(atEnd, afterFirstThousand * 11 / 10);
    }
#endif
    EXPECT_TRUE(line.isLineUp());
    line.stop();
}

} // namespace
