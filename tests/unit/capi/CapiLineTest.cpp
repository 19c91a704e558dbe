#include "capi/CapiLine.h"

#include "line/CallEvents.h"
#include "tests/fakes/CapiMessages.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeSteadyClock.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using B = std::vector<std::uint8_t>;

/// Records each event, and how many messages CAPI had been given when it came.
class RecordingEvents final : public CallEvents
{
public:
    explicit RecordingEvents(const FakeCapi &c) : capi(c) {}
    const FakeCapi &capi;
    std::vector<std::string> calls;
    std::vector<std::size_t> putsAtEvent;
    void onIncomingCall(const IncomingCall &c) override
    {
        calls.push_back("connect:" + std::to_string(c.id) + ":" + c.caller + ":" + c.msn);
        putsAtEvent.push_back(capi.puts.size());
    }
    void onCallCleared(const CallCleared &c) override
    {
        calls.push_back("disconnect:" + std::to_string(c.id) + ":" + c.handling);
        putsAtEvent.push_back(capi.puts.size());
    }
    void onLineUp() override { calls.emplace_back("up"); }
    void onLineLost() override { calls.emplace_back("lost"); }
};

class CapiLineTest : public ::testing::Test
{
protected:
    FakeCapi capi;
    CapiState state;
    CapiLine line{capi, state, CapiWorker::Mode::Manual};
    RecordingEvents events{capi};

    void SetUp() override
    {
        capi.nextApplId = 7;
        line.setCallEvents(&events);
        line.start();
        line.tick(); // hears the LISTEN_CONF
        capi.puts.clear();
        events.calls.clear();
    }
    void deliver(const B &m)
    {
        capi.queueMessage(m);
        line.tick();
    }
};

TEST(CapiLineStart, RegistersListensAndIsUpOnlyAfterTheConfirmation)
{
    FakeCapi capi;
    capi.nextApplId = 7;
    CapiState state;
    CapiLine line(capi, state, CapiWorker::Mode::Manual);
    RecordingEvents events(capi);
    line.setCallEvents(&events);
    line.start();
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0].size(), 26u);
    EXPECT_EQ(capi.puts[0][2], 7);
    EXPECT_EQ(capi.puts[0][4], 0x05);
    EXPECT_EQ(capi.puts[0][6], 1);
    EXPECT_FALSE(line.isLineUp());
    line.tick();
    EXPECT_TRUE(line.isLineUp());
    EXPECT_EQ(state.ApplID, 7u);
    EXPECT_EQ(events.calls, std::vector<std::string>{"up"});
}

// A line on a fake CAPI whose start can be played tick by tick, with its clock and notices.
struct StartingLine
{
    FakeCapi capi;
    CapiState state;
    LineWatch::TimePoint now = LineWatch::TimePoint{} + std::chrono::hours(1);
    FakeSteadyClock clock{now};
    std::vector<std::string> notices;
    std::unique_ptr<CapiLine> line;

    void start()
    {
        line = std::make_unique<CapiLine>(capi, state, CapiWorker::Mode::Manual, clock);
        line->setNoticeSink([this](const std::string &t) { notices.push_back(t); });
        line->start();
    }
};

// A refused LISTEN_REQ is a line that is down: told with its Info, released, retried.
TEST(CapiLineStart, RefusedListenIsALineDownAndIsRetried)
{
    StartingLine s;
    s.capi.listenInfo = 0x2002;
    s.start();
    s.line->tick();
    EXPECT_FALSE(s.line->isLineUp());
    EXPECT_EQ(s.capi.releaseCalls, 1);
    EXPECT_EQ(s.notices,
              std::vector<std::string>{"Keine CAPI-Verbindung (LISTEN_CONF Info 0x2002)"});
    s.capi.listenInfo = 0;
    s.now += std::chrono::seconds(30);
    s.line->tick();
    s.line->tick();
    EXPECT_EQ(s.capi.registerCalls, 2);
    EXPECT_TRUE(s.line->isLineUp());
    EXPECT_EQ(s.notices.back(), "CAPI-Verbindung hergestellt");
}

TEST(CapiLineStart, UnansweredListenCountsAsRefusedAfterItsTimeout)
{
    StartingLine s;
    s.capi.answerListen = false;
    s.start();
    s.now += CapiWorker::kListenTimeout - std::chrono::seconds(1);
    s.line->tick();
    EXPECT_EQ(s.capi.releaseCalls, 0);
    s.now += std::chrono::seconds(1);
    s.line->tick();
    EXPECT_EQ(s.capi.releaseCalls, 1);
    EXPECT_EQ(s.notices,
              std::vector<std::string>{"Keine CAPI-Verbindung (LISTEN_CONF bleibt aus)"});
}

TEST_F(CapiLineTest, EmptyQueueChangesAndSendsNothing)
{
    const int before = capi.getCalls;
    line.tick();
    EXPECT_TRUE(capi.puts.empty());
    EXPECT_TRUE(events.calls.empty());
    EXPECT_EQ(capi.getCalls, before + 1);
}

struct DispatchCase
{
    const char *name;
    B message;
    const char *event; // event expected, "" for none
    bool infoResp;
};

class Dispatch : public CapiLineTest, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(Dispatch, FollowsTheDispatchTable)
{
    const auto &c = GetParam();
    deliver(c.message);
    if (*c.event)
        EXPECT_EQ(events.calls, std::vector<std::string>{c.event});
    else
        EXPECT_TRUE(events.calls.empty());
    if (*c.event || c.infoResp)
        EXPECT_EQ(capi.puts.size(), 1u);
    else
        EXPECT_TRUE(capi.puts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Dispatch,
    ::testing::Values(
        DispatchCase{"CONNECT_IND", msg::connectInd(0x101, msg::callParams("345", "301")),
                     "connect:257:0301:345", false},
        DispatchCase{"DISCONNECT_IND", msg::disconnectInd(0x101, 0x349A),
                     "disconnect:257:Angenommen am S0-Bus", false},
        DispatchCase{"INFO_IND", msg::infoInd(0x101, 3), "", true},
        DispatchCase{"LISTEN_CONF_WhileUp", msg::withPlci(0x05, 0x81, 1, 1, {0x01, 0x20}), "",
                     false},
        DispatchCase{"ALERT_CONF", msg::withPlci(0x01, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"CONNECT_CONF", msg::withPlci(0x02, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"DISCONNECT_CONF", msg::withPlci(0x04, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"INFO_CONF", msg::withPlci(0x08, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"CONNECT_ACTIVE_IND", msg::withPlci(0x03, 0x82, 0x101), "", false},
        DispatchCase{"UnknownCommand", msg::withPlci(0x77, 0x82, 0x101), "", false}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(CapiLineTest, AlertReqAnswersTheCallAfterItWasHandled)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    EXPECT_EQ(events.putsAtEvent, std::vector<std::size_t>{0});
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{17, 0, 7, 0, 0x01, 0x80, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CapiLineTest, DisconnectRespCarriesThePlciAndNumberOfItsIndication)
{
    deliver(msg::disconnectInd(0x101, 0x349A, 9));
    EXPECT_EQ(events.putsAtEvent, std::vector<std::size_t>{0});
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x04, 0x83, 9, 0, 0x01, 0x01, 0, 0}));
}

TEST_F(CapiLineTest, OverlappingCallsAreAnsweredEachWithItsOwnPlci)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::connectInd(0x201, msg::callParams("346", "4930")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    deliver(msg::disconnectInd(0x201, 0x349A));
    EXPECT_EQ(events.calls,
              (std::vector<std::string>{"connect:257:0301:345", "connect:513:04930:346",
                                        "disconnect:257:Anrufer hat aufgelegt",
                                        "disconnect:513:Angenommen am S0-Bus"}));
    ASSERT_EQ(capi.puts.size(), 4u);
    EXPECT_EQ(capi.puts[1][8], 0x01); // ALERT_REQ B: 0x201
    EXPECT_EQ(capi.puts[1][9], 0x02);
    EXPECT_EQ(capi.puts[2][4], 0x04); // DISCONNECT_RESP A carries A's PLCI
    EXPECT_EQ(capi.puts[2][9], 0x01);
    EXPECT_EQ(capi.puts[3][9], 0x02);
}

TEST_F(CapiLineTest, InfoRespAnswersItsOwnIndication)
{
    deliver(msg::infoInd(0x0201, 7));
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 7, 0, 0x01, 0x02, 0, 0}));
}

TEST_F(CapiLineTest, InfoIndBeforeAnyCallIsAnsweredWithItsPlci)
{
    deliver(msg::infoInd(0, 0));
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CapiLineTest, ThreeQueuedMessagesTakeThreeTicksInArrivalOrder)
{
    capi.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301")));
    capi.queueMessage(msg::infoInd(0x101, 1));
    capi.queueMessage(msg::disconnectInd(0x101, 0x3490));
    line.tick();
    EXPECT_EQ(events.calls, std::vector<std::string>{"connect:257:0301:345"});
    EXPECT_EQ(capi.puts.size(), 1u);
    line.tick();
    EXPECT_EQ(capi.puts.size(), 2u);
    EXPECT_EQ(events.calls.size(), 1u);
    line.tick();
    EXPECT_EQ(events.calls.back(), "disconnect:257:Anrufer hat aufgelegt");
    EXPECT_TRUE(capi.queue.empty());
}

// Under ASan this shows that nothing reads behind the five bytes that arrived.
TEST_F(CapiLineTest, MessageShorterThanItsHeaderIsDroppedUnread)
{
    deliver(B{5, 0, 7, 0, 0x02});
    EXPECT_TRUE(events.calls.empty());
    EXPECT_TRUE(capi.puts.empty());
}

TEST_F(CapiLineTest, HeaderOnlyInfoIndIsAnsweredWithPlciZero)
{
    B m = msg::header(0x08, 0x82, 4);
    m[0] = 8;
    deliver(m);
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 4, 0, 0, 0, 0, 0}));
}

TEST_F(CapiLineTest, StopReleasesTheIdentifierOnce)
{
    line.stop();
    line.stop();
    EXPECT_EQ(capi.releaseCalls, 1);
    EXPECT_EQ(capi.releasedApplId, 7u);
    EXPECT_TRUE(capi.puts.empty());
}

// The message fetched before a loss is still handled; its answer has no one to go to.
TEST_F(CapiLineTest, AnswerToAMessageOfALostRegistrationIsDropped)
{
    CapiWorker worker(capi, CapiWorker::Mode::Manual);
    capi.nextApplId = 8;
    worker.start();
    worker.runOnce();
    worker.put(7, B{12, 0, 7, 0, 0x08, 0x83, 0, 0, 0, 0, 0, 0}); // an earlier registration's
    capi.puts.clear();
    worker.flushPuts();
    EXPECT_TRUE(capi.puts.empty());
}

} // namespace
