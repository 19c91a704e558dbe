#include "capi/CapiLine.h"

#include "capi/CapiResult.h"
#include "tests/fakes/CapiMessages.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeSteadyClock.h"

#include "line/CallEvents.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class LostCounter final : public CallEvents
{
public:
    int connects = 0;
    int lost = 0;
    void onIncomingCall(const IncomingCall &) override { ++connects; }
    void onCallCleared(const CallCleared &) override {}
    void onLineUp() override {}
    void onLineLost() override { ++lost; }
};

class CapiLineReconnect : public ::testing::Test
{
protected:
    FakeCapi capi;
    CapiState state;
    LineWatch::TimePoint now = LineWatch::TimePoint{} + 1h;
    FakeSteadyClock clock{now};
    CapiLine line{capi, state, CapiWorker::Mode::Manual, clock};
    LostCounter handler;
    std::vector<std::string> notices;

    void SetUp() override
    {
        capi.nextApplId = 5;
        line.setCallEvents(&handler);
        line.setNoticeSink([this](const std::string &t) { notices.push_back(t); });
    }
    /// Registers, listens and hears the confirmation.
    void start()
    {
        line.start();
        line.Get_Capi_Message();
    }
    int listenReqs() const
    {
        int n = 0;
        for (const auto &p : capi.puts)
            n += p.size() > 4 && p[4] == 0x05;
        return n;
    }
};

TEST(LineWatch, RetriesAtMostOncePerIntervalFromTheEndOfTheLastAttempt)
{
    LineWatch::TimePoint now{};
    FakeSteadyClock clock{now};
    LineWatch w(clock);
    EXPECT_TRUE(w.isRetryDue()); // never tried
    w.noteAttempt();
    EXPECT_FALSE(w.isRetryDue());
    now += 29s;
    EXPECT_FALSE(w.isRetryDue());
    now += 1s;
    EXPECT_TRUE(w.isRetryDue());
    w.noteUp();
    EXPECT_FALSE(w.isRetryDue());
    w.noteDown();
    EXPECT_TRUE(w.isRetryDue());
}

TEST_F(CapiLineReconnect, HealthyLineNeverRegistersAgain)
{
    start();
    now += 1h;
    for (int i = 0; i < 5; ++i)
        line.Get_Capi_Message();
    EXPECT_EQ(capi.registerCalls, 1);
    EXPECT_TRUE(notices.empty());
}

struct LossCase
{
    const char *name;
    std::uint32_t getResult;
    std::uint32_t putResult;
};

class LossResults : public CapiLineReconnect, public ::testing::WithParamInterface<LossCase>
{
};

// Each of these results means the registration is gone: released, told, and redone.
TEST_P(LossResults, ReleaseTellAndRegisterAgainAfterTheInterval)
{
    start();
    capi.emptyResult = GetParam().getResult;
    capi.putResult = GetParam().putResult;
    if (GetParam().putResult)
        capi.queueMessage(msg::infoInd(0x101)); // its INFO_RESP finds the loss
    line.Get_Capi_Message();
    EXPECT_FALSE(line.isLineUp());
    EXPECT_EQ(capi.releaseCalls, 1);
    EXPECT_EQ(capi.releasedApplId, 5u);
    EXPECT_EQ(state.ApplID, 0u);
    EXPECT_EQ(handler.lost, 1);
    EXPECT_EQ(notices, std::vector<std::string>{"CAPI-Verbindung verloren"});

    capi.emptyResult = CapiResult::QueueEmpty;
    capi.putResult = 0;
    capi.nextApplId = 6;
    const int getsBefore = capi.getCalls;
    now += 29s;
    line.Get_Capi_Message();
    EXPECT_EQ(capi.registerCalls, 1);
    EXPECT_EQ(capi.getCalls, getsBefore); // nothing is fetched on a line that is down
    now += 1s;
    line.Get_Capi_Message();
    EXPECT_EQ(capi.registerCalls, 2);
    EXPECT_EQ(listenReqs(), 2);
    EXPECT_EQ(capi.puts.back()[2], 6); // the new ApplID
    EXPECT_FALSE(line.isLineUp());     // until LISTEN_CONF
    line.Get_Capi_Message();
    EXPECT_TRUE(line.isLineUp());
    EXPECT_EQ(notices.back(), "CAPI-Verbindung wieder hergestellt");
}

INSTANTIATE_TEST_SUITE_P(
    Results, LossResults,
    ::testing::Values(LossCase{"PeerGone", CapiResult::LineLost, 0},
                      LossCase{"ApplicationGone", CapiResult::IllegalApplId, 0},
                      LossCase{"TransportBroken", CapiResult::OsResourceError, 0},
                      LossCase{"PutAfterPeerClosed", CapiResult::QueueEmpty,
                               CapiResult::OsResourceError}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(CapiLineReconnect, OrdinaryEmptyQueueIsNotALoss)
{
    start();
    capi.emptyResult = CapiResult::QueueEmpty;
    line.Get_Capi_Message();
    EXPECT_TRUE(line.isLineUp());
    EXPECT_EQ(capi.releaseCalls, 0);
}

TEST_F(CapiLineReconnect, FailingRetriesAreSpacedAndToldOnce)
{
    start();
    capi.emptyResult = CapiResult::LineLost;
    line.Get_Capi_Message();
    capi.registerResult = CapiResult::RegNotInstalled;
    for (int i = 1; i <= 4; ++i) {
        now += 10s;
        line.Get_Capi_Message();
    }
    // 40 s after the first registration: one retry at 30 s, the next not before 60 s.
    EXPECT_EQ(capi.registerCalls, 2);
    EXPECT_EQ(notices.size(), 1u);
    now += 20s;
    line.Get_Capi_Message();
    EXPECT_EQ(capi.registerCalls, 3);
    EXPECT_EQ(capi.releaseCalls, 1); // only the registration that existed
}

TEST_F(CapiLineReconnect, FailedStartHealsTheSameWay)
{
    capi.registerResult = CapiResult::RegNotInstalled;
    start();
    EXPECT_TRUE(capi.puts.empty()); // no LISTEN_REQ without a registration
    EXPECT_EQ(notices, std::vector<std::string>{"Keine CAPI-Verbindung (0x1009)"});
    line.Get_Capi_Message();
    EXPECT_EQ(capi.getCalls, 0);
    capi.registerResult = 0;
    now += 30s;
    line.Get_Capi_Message();
    EXPECT_EQ(listenReqs(), 1);
    EXPECT_EQ(capi.getCalls, 0); // the tick that registered fetched nothing
    line.Get_Capi_Message();
    EXPECT_TRUE(line.isLineUp());
    EXPECT_EQ(notices.back(), "CAPI-Verbindung hergestellt");
    capi.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301")));
    line.Get_Capi_Message();
    EXPECT_EQ(handler.connects, 1);
}

TEST_F(CapiLineReconnect, ReleaseAtShutdownAfterALossReleasesNothingTwice)
{
    start();
    capi.emptyResult = CapiResult::LineLost;
    line.Get_Capi_Message();
    line.stop();
    EXPECT_EQ(capi.releaseCalls, 1);
}

// A lost line is handled after the message was handled: its answer still carries its ApplID.
TEST_F(CapiLineReconnect, LossFoundByAHandlersPutWaitsForTheEndOfTheTick)
{
    start();
    capi.putResult = CapiResult::OsResourceError;
    capi.queueMessage(msg::infoInd(0x101, 9));
    line.Get_Capi_Message();
    EXPECT_EQ(capi.puts.back()[4], 0x08); // the INFO_RESP went out with the old ApplID
    EXPECT_EQ(capi.puts.back()[2], 5);
    EXPECT_FALSE(line.isLineUp());
}

} // namespace
