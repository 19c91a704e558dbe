#include "app/LineStatus.h"

#include "app/frmCapi.h"
#include "app/modCapi.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeSteadyClock.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"
#include "ui/LineNotifier.h"
#include "ui/TrayRecord.h"

#include <QLabel>
#include <fstream>
#include <gtest/gtest.h>

namespace {

class RecordingLineNotifier final : public LineNotifier
{
public:
    std::vector<std::string> calls;
    void lineDown(const std::string &why) override { calls.push_back("down:" + why); }
    void lineBack(const std::string &line) override { calls.push_back("back:" + line); }
};

struct Step
{
    int at;            // seconds after the start; every second up to it is ticked
    const char *event; // "up", "lost" or "" (ticks only)
};

struct Case
{
    const char *name;
    std::vector<Step> steps;
    bool down;
    const char *tip;
    const char *status;
    std::vector<std::string> notified;
    bool notifications = true;
};

const std::string kUpStatus = "Verbunden mit CAPI seit 30.12.2000 14:05:09";

// The grace after the start, losses, returns, and one notification per outage of 60 s.
const Case kCases[] = {
    {"UpWithinTheGraceNeverShowsDown",
     {{9, "up"}, {200, ""}},
     false,
     "<Kein Anruf>",
     kUpStatus.c_str(),
     {}},
    {"NotUpWithinTenSecondsIsDown",
     {{9, ""}},
     false,
     "<Kein Anruf>",
     "Verbindung mit CAPI wird hergestellt …",
     {}},
    {"FirstConnectionFailsDownAfterTenSeconds",
     {{10, ""}},
     true,
     "<Keine CAPI-Verbindung>",
     "Keine CAPI-Verbindung",
     {}},
    {"NeverUpNotifiesOnceSixtySecondsLater",
     {{69, ""}, {70, ""}, {300, ""}},
     true,
     "<Keine CAPI-Verbindung>",
     "Keine CAPI-Verbindung",
     {"down:Keine CAPI-Verbindung"}},
    {"LossIsDownAtOnce",
     {{2, "up"}, {30, "lost"}},
     true,
     "<Keine CAPI-Verbindung>",
     "Keine CAPI-Verbindung",
     {}},
    {"ShortOutageTellsNothing",
     {{2, "up"}, {30, "lost"}, {89, "up"}, {400, ""}},
     false,
     "<Kein Anruf>",
     kUpStatus.c_str(),
     {}},
    {"LongOutageIsToldAndItsEndReplacesIt",
     {{2, "up"}, {30, "lost"}, {95, "up"}},
     false,
     "<Kein Anruf>",
     kUpStatus.c_str(),
     {"down:Keine CAPI-Verbindung", "back:CAPI"}},
    {"EveryLongOutageIsToldOnce",
     {{2, "up"}, {10, "lost"}, {200, "up"}, {210, "lost"}, {215, "lost"}, {400, ""}},
     true,
     "<Keine CAPI-Verbindung>",
     "Keine CAPI-Verbindung",
     {"down:Keine CAPI-Verbindung", "back:CAPI", "down:Keine CAPI-Verbindung"}},
    {"NotificationsOffTellNothing",
     {{2, "up"}, {10, "lost"}, {200, "up"}},
     false,
     "<Kein Anruf>",
     kUpStatus.c_str(),
     {},
     false},
};

class LineStatusTable : public ::testing::TestWithParam<Case>
{
};

TEST_P(LineStatusTable, ShowsTheLinesState)
{
    const Case &c = GetParam();
    SteadyClock::TimePoint now{};
    const FakeSteadyClock steady(now);
    FakeClock clock;
    FakeTray tray;
    TrayRecord record;
    RecordingLineNotifier notifier;
    std::string shown;
    LineStatus status({tray, record, steady, clock});
    if (c.notifications)
        status.setNotifier(&notifier);
    status.setStatusView([&](const std::string &text) { shown = text; });
    status.lineStarted("CAPI", "Keine CAPI-Verbindung");
    record.setTip("<Kein Anruf>");

    int second = 0;
    for (const Step &step : c.steps) {
        for (; second < step.at; status.tick())
            now += std::chrono::seconds(1), ++second;
        if (std::string(step.event) == "up")
            status.onLineUp();
        else if (std::string(step.event) == "lost")
            status.onLineLost();
    }
    EXPECT_EQ(status.isDown(), c.down);
    EXPECT_EQ(record.lineDown, c.down);
    EXPECT_EQ(record.tooltipText(), c.tip);
    EXPECT_EQ(shown, c.status);
    EXPECT_EQ(notifier.calls, c.notified);
    // The tray is told every change, and only changes: the last tooltip is the record's.
    if (!tray.calls.empty()) {
        EXPECT_EQ(tray.calls.back(), std::string("modify:") + c.tip);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LineStatusTable, ::testing::ValuesIn(kCases),
                         NameBy<&Case::name>{});

// A call's tooltip comes back when the line returns, also after a down text that the
// tooltip's length cut.
TEST(LineStatus, ReturnRestoresTheLatestCallsTooltip)
{
    SteadyClock::TimePoint now{};
    const FakeSteadyClock steady(now);
    FakeClock clock;
    FakeTray tray;
    TrayRecord record;
    LineStatus status({tray, record, steady, clock});
    status.lineStarted("Anrufmonitor router.zuhause.example:1012",
                       "Keine Verbindung zum Anrufmonitor (router.zuhause.example:1012)");
    status.onLineUp();
    record.setTip("03012345\t345\t30.12.00\t14:05:09");
    status.onLineLost();
    EXPECT_EQ(record.szTip, "<Keine Verbindung zum Anrufmonitor (router.zuhause.example:1012");
    status.onLineUp();
    EXPECT_EQ(record.szTip, "03012345\t345\t30.12.00\t14:05:09");
    EXPECT_FALSE(record.lineDown);
}

// The window with a call monitor that never answers: after ten ticks the tray record and
// the status bar say so, with the host and port of the settings.
TEST(LineStatus, WindowShowsACallMonitorThatNeverAnswers)
{
    TempDir tmp;
    const std::filesystem::path oldCwd = std::filesystem::current_path();
    std::ofstream(tmp / "klingelwacht.INI") << "[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=9\r\n";
    SteadyClock::TimePoint now{};
    const FakeSteadyClock steady(now);
    FakeCapi capi;
    FakeTray tray;
    FakeKeyboard keyboard;
    FakeClock clock;
    modCapi data;
    Platform p{capi, tray, keyboard, clock, tmp.path()};
    p.capiMode = CapiWorker::Mode::Manual;
    p.steadyClock = &steady;
    frmCapi w(data, std::move(p));
    w.Form_Load();
    auto *bar = w.findChild<QLabel *>(QStringLiteral("StatusBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->text().toStdString(),
              "Verbindung mit Anrufmonitor 127.0.0.1:9 wird hergestellt …");
    now += LineStatus::kStartGrace;
    w.Timer1_Timer();
    EXPECT_TRUE(data.tray.lineDown);
    EXPECT_EQ(data.tray.szTip, "<Keine Verbindung zum Anrufmonitor (127.0.0.1:9)>");
    EXPECT_EQ(bar->text().toStdString(), "Keine Verbindung zum Anrufmonitor (127.0.0.1:9)");
    w.Form_Unload();
    std::filesystem::current_path(oldCwd);
}

} // namespace
