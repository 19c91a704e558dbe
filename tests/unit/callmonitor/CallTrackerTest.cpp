#include "callmonitor/CallTracker.h"

#include "callmonitor/CallMonitorParser.h"
#include "tests/fakes/RecordingCallEvents.h"
#include "tests/support/CaseName.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;

class Tracker : public ::testing::Test
{
protected:
    CallTracker tracker;
    CallMonitorParser parser;
    RecordingCallEvents events;

    void SetUp() override { tracker.setCallEvents(&events); }
    Events lines(const std::string &text)
    {
        parser.feed(text, [&](const MonitorRecord &r) { tracker.handle(r); });
        return events.take();
    }
};

struct TrackerCase
{
    const char *name;
    std::string input;
    Events expected;
};

const std::vector<TrackerCase> kCases = {
    {"answered",
     "d;RING;0;0301234567;5551234;SIP0;\nd;CONNECT;0;10;0301234567;\nd;DISCONNECT;0;28;\n",
     {"ring 1 0301234567 5551234", "clear 1 Angenommen an Nebenstelle 10"}},
    {"answering machines at 40 to 49, extensions beside them answer",
     "d;RING;0;030;555;\nd;CONNECT;0;40;\nd;DISCONNECT;0;9;\n"
     "d;RING;1;030;555;\nd;CONNECT;1;49;\nd;DISCONNECT;1;9;\n"
     "d;RING;2;030;555;\nd;CONNECT;2;4;\nd;DISCONNECT;2;9;\n"
     "d;RING;3;030;555;\nd;CONNECT;3;50;\nd;DISCONNECT;3;9;\n"
     "d;RING;4;030;555;\nd;CONNECT;4;400;\nd;DISCONNECT;4;9;\n",
     {"ring 1 030 555", "clear 1 Anrufbeantworter (Nebenstelle 40)", "ring 2 030 555",
      "clear 2 Anrufbeantworter (Nebenstelle 49)", "ring 3 030 555",
      "clear 3 Angenommen an Nebenstelle 4", "ring 4 030 555",
      "clear 4 Angenommen an Nebenstelle 50", "ring 5 030 555",
      "clear 5 Angenommen an Nebenstelle 400"}},
    {"caller hung up",
     "d;RING;0;030;555;SIP0;\nd;DISCONNECT;0;0;\n",
     {"ring 1 030 555", "clear 1 Anrufer hat aufgelegt"}},
    {"withheld caller", "d;RING;0;;555;SIP0;\n", {"ring 1 Unbekannt 555"}},
    {"overlapping calls with a late disconnect",
     "d;RING;0;030;555;SIP0;\nd;RING;1;040;556;SIP1;\nd;CONNECT;1;11;040;\n"
     "d;DISCONNECT;1;5;\nd;CONNECT;0;12;030;\nd;DISCONNECT;0;40;\n",
     {"ring 1 030 555", "ring 2 040 556", "clear 2 Angenommen an Nebenstelle 11",
      "clear 1 Angenommen an Nebenstelle 12"}},
    {"disconnect of no open call changes nothing",
     "d;DISCONNECT;4;0;\nd;RING;0;030;555;\nd;DISCONNECT;1;0;\n",
     {"ring 1 030 555"}},
    {"connect of no open call is forgotten",
     "d;CONNECT;0;10;\nd;RING;0;030;555;\nd;DISCONNECT;0;0;\n",
     {"ring 1 030 555", "clear 1 Anrufer hat aufgelegt"}},
    {"outgoing call changes nothing",
     "d;CALL;1;11;5551234;0170;SIP1;\nd;CONNECT;1;11;0170;\nd;DISCONNECT;1;30;\n",
     {}},
    {"ring on an open id replaces the call",
     "d;RING;0;030;555;\nd;RING;0;040;556;\nd;DISCONNECT;0;0;\n",
     {"ring 1 030 555", "clear 1 Verbindung verloren", "ring 2 040 556",
      "clear 2 Anrufer hat aufgelegt"}},
    {"an id reused after its disconnect is a new call",
     "d;RING;0;030;555;\nd;DISCONNECT;0;0;\nd;RING;0;040;555;\nd;DISCONNECT;0;0;\n"
     "d;DISCONNECT;0;0;\n",
     {"ring 1 030 555", "clear 1 Anrufer hat aufgelegt", "ring 2 040 555",
      "clear 2 Anrufer hat aufgelegt"}},
    {"the last connect names the extension",
     "d;RING;0;030;555;\nd;CONNECT;0;10;\nd;CONNECT;0;21;\nd;DISCONNECT;0;0;\n",
     {"ring 1 030 555", "clear 1 Angenommen an Nebenstelle 21"}},
    {"unsafe bytes never reach a field",
     "d;RING;0;#03,0\"\t\xc3\xa4;5\x01"
     "5;\nd;CONNECT;0;1<b>\x7f;\nd;DISCONNECT;0;0;\n",
     {"ring 1 ?03?0???? 5?5", "clear 1 Angenommen an Nebenstelle 1<b>?"}},
};

class TrackerCases : public Tracker, public ::testing::WithParamInterface<TrackerCase>
{
};

TEST_P(TrackerCases, RaisesTheseEvents)
{
    EXPECT_EQ(lines(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Calls, TrackerCases, ::testing::ValuesIn(kCases),
                         NameBy<&TrackerCase::name>{});

TEST_F(Tracker, ForgetAllDropsOpenCallsWithoutAnEvent)
{
    lines("d;RING;0;030;555;\nd;RING;1;040;555;\n");
    tracker.forgetAll();
    EXPECT_EQ(tracker.openCalls(), 0u);
    EXPECT_EQ(lines("d;DISCONNECT;0;0;\nd;DISCONNECT;1;0;\n"), Events{});
}

// A router that rings on ever new ids without a DISCONNECT cannot grow the open calls:
// the oldest gives way.
TEST_F(Tracker, OpenCallsAreBounded)
{
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "d;RING;" + std::to_string(i) + ";030;555;\n";
    const Events e = lines(text);
    EXPECT_EQ(tracker.openCalls(), CallTracker::kMaxOpenCalls);
    ASSERT_EQ(e.size(), 32u + 2u * 68u);
    EXPECT_EQ(e[32], "clear 1 Verbindung verloren");
    EXPECT_EQ(e[33], "ring 33 030 555");
    EXPECT_EQ(lines("d;DISCONNECT;99;0;\n"), Events{"clear 100 Anrufer hat aufgelegt"});
}

} // namespace
