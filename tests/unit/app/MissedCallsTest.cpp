// Calls missed while nobody looks at the call list reach the tray; showing the list,
// however it comes up, clears them.
#include "app/frmCapi.h"
#include "app/modCapi.h"
#include "tests/fakes/CapiMessages.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

class MissedCallsTest : public ::testing::Test
{
protected:
    FakeCapi capi;
    FakeTray tray;
    FakeKeyboard keyboard;
    FakeClock clock{2026, 12, 8, 10, 15, 9};
    modCapi data;
    TempDir dir;
    std::filesystem::path oldCwd = std::filesystem::current_path();
    std::unique_ptr<frmCapi> w;

    void SetUp() override
    {
        Platform p{
            capi, tray, keyboard, clock, dir.path(), "klingelwacht", [](const std::string &) {}};
        p.capiMode = CapiWorker::Mode::Manual;
        w = std::make_unique<frmCapi>(data, std::move(p));
        w->Form_Load();
        w->Timer1_Timer(); // the LISTEN_CONF
    }
    void TearDown() override { std::filesystem::current_path(oldCwd); }

    /// A call that rings and ends with the reason, a tick each.
    void call(std::uint32_t plci, std::uint16_t reason)
    {
        capi.queueMessage(msg::connectInd(plci, msg::callParams("345", "301")));
        w->Timer1_Timer();
        capi.queueMessage(msg::disconnectInd(plci, reason));
        w->Timer1_Timer();
    }
};

TEST_F(MissedCallsTest, CountedWhileHiddenClearedWhenShown)
{
    call(0x101, 0x3490); // hung up: missed
    call(0x102, 0x349A); // taken on the bus
    EXPECT_EQ(data.tray.missedCount, 1);
    EXPECT_EQ(data.tray.missedLine, "1 verpasster Anruf, zuletzt 10:15");
    clock.advanceSecond();
    call(0x103, 0x3490);
    EXPECT_EQ(data.tray.missedLine, "2 verpasste Anrufe, zuletzt 10:15");
    EXPECT_EQ(data.tray.szTip.find('\n'), std::string::npos);

    const std::size_t before = tray.calls.size();
    w->mnuAnzeigen_Click();
    EXPECT_EQ(data.tray.missedLine, "");
    EXPECT_GT(tray.calls.size(), before); // the tray was told

    // Seen in the list as it comes: not counted.
    call(0x104, 0x3490);
    EXPECT_EQ(data.tray.missedCount, 0);
    w->hide();
    call(0x105, 0x3490);
    EXPECT_EQ(data.tray.missedCount, 1);
    w->show(); // any way of showing the list clears
    EXPECT_EQ(data.tray.missedCount, 0);
}

} // namespace
