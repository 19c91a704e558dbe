// The line's state as tray, status bar and notifications show it, driven by line events
// with a fake clock.
#include "app/LineStatus.h"

#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSteadyClock.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/CaseName.h"
#include "ui/LineNotifier.h"
#include "ui/TrayRecord.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

class RecordingLineNotifier final : public LineNotifier
{
public:
    std::string told;
    void lineDown(const std::string &why) override { told += "down:" + why + ";"; }
    void lineBack(const std::string &line) override { told += "back:" + line + ";"; }
};

struct Case
{
    const char *name;
    const char *events; // "EVENT@SECOND ...": every second up to it is ticked first
    const char *tip;    // the tooltip at the end; down when it is a down text
    const char *told;   // the desktop's notifications; nullptr: switched off
};

const char *const kDown = "<Keine Verbindung zum Anrufmonitor (router.zuhause.example:1012";
const char *const kCall = "03012345\t345\t30.12.00\t14:05:09";

// The start's grace, losses, returns, one notification per outage of 60 s.
const Case kCases[] = {
    {"UpWithinTheGrace", "up@9 tick@200", "<Kein Anruf>", ""},
    {"NotYetUp", "tick@9", "<Kein Anruf>", ""},
    {"FirstConnectionFails", "tick@10", kDown, ""},
    {"NeverUpToldOnceAMinuteLater", "tick@69", kDown, ""},
    {"NeverUpToldOnce", "tick@70 tick@300", kDown, "down"},
    {"LossIsDownAtOnce", "up@2 lost@30", kDown, ""},
    {"ShortOutageTellsNothing", "up@2 lost@30 up@89 tick@400", "<Kein Anruf>", ""},
    {"ReturnGivesTheCallsTipBack", "up@2 call@3 lost@30 up@95", kCall, "down back"},
    {"EveryLongOutageTold", "up@2 lost@10 up@200 lost@210 lost@215 tick@400", kDown,
     "down back down"},
    {"NotificationsOff", "up@2 lost@10 up@200", "<Kein Anruf>", nullptr},
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
    if (c.told)
        status.setNotifier(&notifier);
    status.setStatusView([&](const std::string &text) { shown = text; });
    const std::string line = "Anrufmonitor router.zuhause.example:1012";
    const std::string down = "Keine Verbindung zum Anrufmonitor (router.zuhause.example:1012)";
    status.lineStarted(line, down);
    record.setTip("<Kein Anruf>");

    std::istringstream events(c.events);
    int second = 0;
    for (std::string event; std::getline(events, event, '@');) {
        event.erase(0, event.find_first_not_of(' '));
        int at = 0;
        events >> at;
        for (; second < at; status.tick())
            now += std::chrono::seconds(1), ++second;
        if (event == "up")
            status.onLineUp();
        else if (event == "lost")
            status.onLineLost();
        else if (event == "call")
            record.setTip(kCall);
    }
    const bool isDown = std::string(c.tip) == kDown;
    EXPECT_EQ(status.isDown(), isDown);
    EXPECT_EQ(record.lineDown, isDown);
    EXPECT_EQ(record.szTip, c.tip); // the down text as cut to the tooltip's length
    EXPECT_EQ(tray.calls.empty() ? "" : tray.calls.back(),
              tray.calls.empty() ? "" : std::string("modify:") + c.tip);
    const bool everUp = std::string(c.events).starts_with("up");
    EXPECT_EQ(shown, isDown   ? down
                     : everUp ? "Verbunden mit " + line + " seit 30.12.2000 14:05:09"
                              : "Verbindung mit " + line + " wird hergestellt …");
    std::string told;
    std::istringstream words(c.told ? c.told : "");
    for (std::string w; words >> w;)
        told += w == "down" ? "down:" + down + ";" : "back:" + line + ";";
    EXPECT_EQ(notifier.told, told);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineStatusTable, ::testing::ValuesIn(kCases),
                         NameBy<&Case::name>{});

} // namespace
