#include "CapiLine.h"

#include "CallHandler.h"
#include "CapiMessages.h"
#include "FakeCapi.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using B = std::vector<std::uint8_t>;

class RecordingHandler final : public CallHandler
{
public:
    explicit RecordingHandler(CapiState &s) : state(s) {}
    CapiState &state;
    std::vector<std::string> calls;
    void onConnectInd() override { calls.push_back("connect"); }
    void onDisconnectInd() override { calls.push_back("disconnect"); }
};

class CapiLineTest : public ::testing::Test
{
protected:
    FakeCapi capi;
    CapiState state;
    CapiLine line{capi, state};
    RecordingHandler handler{state};

    void SetUp() override
    {
        capi.nextApplId = 7;
        line.setCallHandler(&handler);
        line.registerApplication();
    }
};

TEST_F(CapiLineTest, RegistersAndListensWithTheIdentifierItGot)
{
    EXPECT_EQ(state.ApplID, 7u);
    line.sendListenReq();
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0].size(), 26u);
    EXPECT_EQ(capi.puts[0][2], 7);
    EXPECT_EQ(capi.puts[0][4], 0x05);
    EXPECT_EQ(capi.puts[0][6], 1);
}

TEST_F(CapiLineTest, FailedRegistrationLeavesIdentifierZero)
{
    FakeCapi failing;
    failing.registerResult = 0x1009;
    CapiState s;
    CapiLine l(failing, s);
    EXPECT_EQ(l.registerApplication(), 0x1009u);
    EXPECT_EQ(s.ApplID, 0u);
}

TEST_F(CapiLineTest, EmptyQueueChangesAndSendsNothing)
{
    line.Get_Capi_Message();
    EXPECT_TRUE(capi.puts.empty());
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(capi.getCalls, 1);
}

struct DispatchCase
{
    const char *name;
    B message;
    const char *handled; // handler call expected, "" for none
    bool infoResp;
};

class Dispatch : public CapiLineTest, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(Dispatch, FollowsTheDispatchTable)
{
    const auto &c = GetParam();
    capi.queueMessage(c.message);
    line.Get_Capi_Message();
    if (*c.handled)
        EXPECT_EQ(handler.calls, std::vector<std::string>{c.handled});
    else
        EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(capi.puts.size(), c.infoResp ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Dispatch,
    ::testing::Values(
        DispatchCase{"CONNECT_IND", msg::connectInd(0x101, msg::callParams("345", "301")),
                     "connect", false},
        DispatchCase{"DISCONNECT_IND", msg::disconnectInd(0x101, 0x349A), "disconnect", false},
        DispatchCase{"INFO_IND", msg::infoInd(0x101, 3), "", true},
        DispatchCase{"LISTEN_CONF_InfoNonZero", msg::withPlci(0x05, 0x81, 1, 1, {0x01, 0x20}), "",
                     false},
        DispatchCase{"ALERT_CONF", msg::withPlci(0x01, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"CONNECT_CONF", msg::withPlci(0x02, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"DISCONNECT_CONF", msg::withPlci(0x04, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"INFO_CONF", msg::withPlci(0x08, 0x81, 0x101, 0, {0, 0}), "", false},
        DispatchCase{"CONNECT_ACTIVE_IND", msg::withPlci(0x03, 0x82, 0x101), "", false},
        DispatchCase{"UnknownCommand", msg::withPlci(0x77, 0x82, 0x101), "", false}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(CapiLineTest, InfoRespAnswersItsOwnIndication)
{
    capi.queueMessage(msg::infoInd(0x0201, 7));
    line.Get_Capi_Message();
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 7, 0, 0x01, 0x02, 0, 0}));
}

TEST_F(CapiLineTest, InfoIndBeforeAnyCallIsAnsweredWithItsPlci)
{
    capi.queueMessage(msg::infoInd(0, 0));
    line.Get_Capi_Message();
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CapiLineTest, ThreeQueuedMessagesTakeThreeTicksInArrivalOrder)
{
    capi.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301")));
    capi.queueMessage(msg::infoInd(0x101, 1));
    capi.queueMessage(msg::disconnectInd(0x101, 0x3490));
    line.Get_Capi_Message();
    EXPECT_EQ(handler.calls, std::vector<std::string>{"connect"});
    EXPECT_TRUE(capi.puts.empty());
    line.Get_Capi_Message();
    EXPECT_EQ(capi.puts.size(), 1u);
    line.Get_Capi_Message();
    EXPECT_EQ(handler.calls, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_TRUE(capi.queue.empty());
}

// Under ASan this shows that nothing reads behind the five bytes that arrived.
TEST_F(CapiLineTest, MessageShorterThanItsHeaderIsDroppedUnread)
{
    capi.queueMessage(B{5, 0, 7, 0, 0x02});
    line.Get_Capi_Message();
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_TRUE(capi.puts.empty());
}

TEST_F(CapiLineTest, HeaderOnlyInfoIndIsAnsweredWithPlciZero)
{
    capi.queueMessage(msg::header(0x08, 0x82, 4));
    capi.queue.back()[0] = 8;
    line.Get_Capi_Message();
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{12, 0, 7, 0, 0x08, 0x83, 4, 0, 0, 0, 0, 0}));
}

TEST_F(CapiLineTest, ReleaseUsesTheIdentifier)
{
    line.release();
    EXPECT_EQ(capi.releaseCalls, 1);
    EXPECT_EQ(capi.releasedApplId, 7u);
    EXPECT_TRUE(capi.puts.empty());
}

} // namespace
