// The real libcapi20 with its "fritzbox" module against capisim on 127.0.0.1. The line runs
// the library within its ticks here, so that the tests decide when each step happens.
#include "capi/CapiLine.h"
#include "capi/CapiResult.h"
#include "capi/Libcapi20Capi.h"
#include "line/CallEvents.h"
#include "tests/fakes/FakeSteadyClock.h"
#include "tests/support/CapisimSession.h"
#include "tests/support/Watchdog.h"
#include "tools/capisim/Protocol.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mman.h>

namespace {

using namespace std::chrono_literals;
using capisim::Bytes;
using capisim::Condition;

/// Keeps the message behind each call event as it came from the library.
class RecordingHandler final : public CallEvents
{
public:
    explicit RecordingHandler(CapiState &s) : state(s) {}
    CapiState &state;
    std::vector<Bytes> connects, disconnects;
    int linesLost = 0;
    void onIncomingCall(const IncomingCall &) override
    {
        connects.emplace_back(state.message.data, state.message.data + state.message.size);
    }
    void onCallCleared(const CallCleared &) override
    {
        disconnects.emplace_back(state.message.data, state.message.data + state.message.size);
    }
    void onLineUp() override {}
    void onLineLost() override { ++linesLost; }
};

class CapiLineIntegration : public ::testing::Test
{
protected:
    const int applId = CapisimSession::ownApplId();
    CapisimSession sim;
    Libcapi20Capi capi;
    CapiState state;
    LineWatch::TimePoint now = LineWatch::TimePoint{} + 1h;
    FakeSteadyClock clock{now};
    CapiLine line{capi, state, CapiWorker::Mode::Manual, clock};
    RecordingHandler handler{state};
    std::vector<std::string> notices;

    explicit CapiLineIntegration(int port = 0) : sim(port) {}

    void SetUp() override
    {
        line.setCallEvents(&handler);
        line.setNoticeSink([this](const std::string &t) { notices.push_back(t); });
    }
    void TearDown() override { line.stop(); }

    void startWith(const std::string &scenario, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--applid", std::to_string(applId)});
        sim.start(scenario, extra);
    }
    void registerAndListen()
    {
        line.start();
        ASSERT_TRUE(tickUntil([&] { return line.isLineUp(); }));
    }
    /// A registration of the adapter's own, beside the line.
    std::uint32_t registerDirectly()
    {
        std::uint32_t id = 0;
        EXPECT_EQ(capi.CAPI_REGISTER(3072, 2, 7, 2048, id), 0u);
        return id;
    }
    /// Ticks (20 ms apart, the fake clock standing still) until cond holds.
    template<class Cond> bool tickUntil(Cond cond, int maxTicks = 500)
    {
        for (int i = 0; i < maxTicks; ++i) {
            line.Get_Capi_Message();
            if (cond())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    bool told(const std::string &text) const
    {
        return std::find(notices.begin(), notices.end(), text) != notices.end();
    }
};

TEST_F(CapiLineIntegration, RegistrationGivesTheApplIdCapisimHandsOut)
{
    startWith("");
    line.start();
    ASSERT_TRUE(tickUntil([&] { return state.ApplID != 0; }));
    EXPECT_EQ(state.ApplID, static_cast<std::uint32_t>(applId));
    const auto reg = sim.waitForEntry({"REGISTER", {}});
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->fields.at("appl"), std::to_string(applId));
    EXPECT_EQ(reg->fields.at("maxlc"), "2");
    EXPECT_EQ(reg->fields.at("maxbb"), "7");
    EXPECT_EQ(reg->fields.at("maxbl"), "2048");
}

TEST_F(CapiLineIntegration, ListenReqArrivesByteExact)
{
    startWith("");
    registerAndListen();
    const auto listen = sim.waitForEntry({"LISTEN_REQ", {}});
    ASSERT_TRUE(listen);
    const Bytes want{26,
                     0,
                     static_cast<std::uint8_t>(applId),
                     static_cast<std::uint8_t>(applId >> 8),
                     0x05,
                     0x80,
                     1,
                     0,
                     1,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     1,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0};
    EXPECT_EQ(listen->bytes, want);
    EXPECT_TRUE(line.isLineUp());
}

TEST_F(CapiLineIntegration, ConnectIndReachesThePumpByteExact)
{
    startWith("wait-for LISTEN_REQ\nconnect plci=0x101 called=345 calling=301 ton=0x21 pi=0x80\n");
    registerAndListen();
    ASSERT_TRUE(tickUntil([&] { return !handler.connects.empty(); }));
    capisim::ConnectSpec spec;
    spec.plci = 0x101;
    spec.called = "345";
    spec.calling = "301";
    Bytes want = capisim::connectInd(spec);
    capisim::setHeader(want, static_cast<std::uint16_t>(applId), 0x100);
    EXPECT_EQ(handler.connects[0], want);
    // The line answers the call itself, after the handling.
    const auto alert = sim.waitForEntry({"ALERT_REQ", {{"plci", "0x101"}}}, 0, 5s);
    EXPECT_TRUE(alert);
}

// A fetch with nothing there must come back at once: the library's own fetch blocks.
TEST_F(CapiLineIntegration, TickWithNothingPendingReturnsWithoutWaiting)
{
    startWith("");
    registerAndListen();
    ASSERT_TRUE(sim.waitForEntry({"LISTEN_REQ", {}}));
    std::this_thread::sleep_for(100ms); // the LISTEN_CONF is there
    Watchdog dog(5s, "an idle tick");
    for (int i = 0; i < 5; ++i)
        line.Get_Capi_Message();
    CapiMessage m;
    EXPECT_EQ(capi.CAPI_GET_MESSAGE(state.ApplID, m), CapiResult::QueueEmpty);
    EXPECT_TRUE(line.isLineUp());
}

// The library reads 2173 bytes behind every put pointer; the adapter must not pass ours.
TEST_F(CapiLineIntegration, RecordAtTheEndOfAGuardedPageDoesNotCrash)
{
    startWith("");
    const std::uint32_t id = registerDirectly();
    const long page = sysconf(_SC_PAGESIZE);
    auto *mem = static_cast<std::uint8_t *>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mem, MAP_FAILED);
    ASSERT_EQ(mprotect(mem + page, page, PROT_NONE), 0);
    ListenReqRecord listenReq;
    fillListenReq(listenReq, id);
    const auto bytes = listenReq.bytes();
    std::uint8_t *at = mem + page - bytes.size();
    std::memcpy(at, bytes.data(), bytes.size());
    EXPECT_EQ(capi.CAPI_PUT_MESSAGE(id, {at, bytes.size()}), 0u);
    const auto listen = sim.waitForEntry({"LISTEN_REQ", {}});
    ASSERT_TRUE(listen);
    EXPECT_EQ(listen->bytes, Bytes(bytes.begin(), bytes.end()));
    munmap(mem, 2 * page);
    capi.CAPI_RELEASE(id);
}

// A put whose Total length exceeds its bytes would make the library send from beyond them.
TEST_F(CapiLineIntegration, PutAnnouncingMoreThanItHoldsIsRefused)
{
    startWith("");
    const std::uint32_t id = registerDirectly();
    const Bytes odd{0x02, 0x83, 0, 0, 0x01, 0x01, 0, 0, 1, 0, 0, 0};
    EXPECT_NE(capi.CAPI_PUT_MESSAGE(id, odd), 0u);
    CapiMessage m;
    EXPECT_EQ(capi.CAPI_GET_MESSAGE(id, m), CapiResult::QueueEmpty); // still registered
    capi.CAPI_RELEASE(id);
}

TEST_F(CapiLineIntegration, DroppedConnectionIsToldAndHealedWithinTheRetryInterval)
{
    startWith("wait-for LISTEN_REQ\n"
              "drop-connection\n"
              "wait-for LISTEN_REQ\n"
              "connect plci=0x102 called=345 calling=4930123 ton=0x11\n");
    registerAndListen();
    ASSERT_TRUE(tickUntil([&] { return told("CAPI-Verbindung verloren"); }));
    EXPECT_FALSE(line.isLineUp());
    EXPECT_EQ(state.ApplID, 0u);
    EXPECT_EQ(handler.linesLost, 1);

    // At most one registration per interval, counted from the last one.
    now += 29s;
    for (int i = 0; i < 5; ++i)
        line.Get_Capi_Message();
    EXPECT_EQ(sim.count({"REGISTER", {}}), 1);
    now += 1s;
    ASSERT_TRUE(tickUntil([&] { return !handler.connects.empty(); }));
    EXPECT_TRUE(told("CAPI-Verbindung wieder hergestellt"));
    EXPECT_EQ(sim.count({"REGISTER", {}}), 2);
    EXPECT_EQ(state.ApplID, static_cast<std::uint32_t>(applId + 1));
    EXPECT_EQ(handler.connects[0][8], 0x02);
}

TEST_F(CapiLineIntegration, RestartedPeerIsHealedTheSameWay)
{
    startWith("wait-for LISTEN_REQ\n"
              "restart 0.5\n"
              "wait-for LISTEN_REQ\n"
              "disconnect plci=0x101 reason=0x3490\n");
    registerAndListen();
    ASSERT_TRUE(tickUntil([&] { return told("CAPI-Verbindung verloren"); }));
    std::this_thread::sleep_for(700ms);
    now += 30s;
    ASSERT_TRUE(tickUntil([&] { return !handler.disconnects.empty(); }));
    EXPECT_EQ(handler.disconnects[0][12], 0x90);
    EXPECT_TRUE(line.isLineUp());
}

// A peer that refuses the registration: the library answers 0x1008 and leaves its probe
// connection open; the next try after the interval goes out all the same.
TEST_F(CapiLineIntegration, RefusedRegistrationIsTriedAgainAfterTheInterval)
{
    startWith("", {"--register-error", "0x1001"});
    line.start();
    line.Get_Capi_Message();
    EXPECT_FALSE(line.isLineUp());
    EXPECT_EQ(notices, std::vector<std::string>{"Keine CAPI-Verbindung (0x1008)"});
    now += 30s;
    line.Get_Capi_Message();
    EXPECT_EQ(sim.waitForEntry({"REGISTER", {}}, 1).has_value(), true);
    EXPECT_FALSE(line.isLineUp());
}

class LateStartIntegration : public CapiLineIntegration
{
protected:
    LateStartIntegration() : CapiLineIntegration(CapisimSession::freePort()) {}
};

TEST_F(LateStartIntegration, RegistrationFailingAtStartHealsWhenThePeerComes)
{
    line.start();
    line.Get_Capi_Message();
    EXPECT_FALSE(line.isLineUp());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("Keine CAPI-Verbindung", 0), 0u);

    startWith("wait-for LISTEN_REQ\nconnect plci=0x101 called=345 calling=\n");
    now += 29s;
    line.Get_Capi_Message();
    EXPECT_FALSE(line.isLineUp());
    now += 1s;
    ASSERT_TRUE(tickUntil([&] { return !handler.connects.empty(); }));
    EXPECT_TRUE(told("CAPI-Verbindung hergestellt"));
    EXPECT_EQ(sim.count({"REGISTER", {}}), 1);
}

struct BadStreamCase
{
    const char *name;
    std::string scenario; // sent once the LISTEN_REQ is there
    bool lost;            // the line must be found lost and given back
};

class BadStream : public CapiLineIntegration, public ::testing::WithParamInterface<BadStreamCase>
{
};

// Garbage, truncated and lying frames: no crash, no hang, and a stream out of step is
// given up, so that the next registration starts clean.
TEST_P(BadStream, NeitherCrashesNorHangs)
{
    const auto &c = GetParam();
    startWith(std::string("wait-for LISTEN_REQ\n") + c.scenario +
              "\nsleep 0.3\nconnect plci=0x1ff called=1 calling=2\n");
    registerAndListen();
    Watchdog dog(20s, "the ticks of a bad stream");
    if (c.lost) {
        ASSERT_TRUE(tickUntil([&] { return told("CAPI-Verbindung verloren"); }));
        now += 30s;
        ASSERT_TRUE(tickUntil([&] { return line.isLineUp(); }));
        EXPECT_EQ(sim.count({"REGISTER", {}}), 2);
    } else {
        ASSERT_TRUE(tickUntil(
            [&] { return !handler.connects.empty() && handler.connects.back()[8] == 0xff; }));
        EXPECT_TRUE(notices.empty());
        for (const auto &m : handler.connects)
            EXPECT_LE(m.size(), 2176u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BadStream,
    ::testing::Values(
        BadStreamCase{"WrongTypeByte", "raw-stream 41 42 43 44", true},
        BadStreamCase{"OversizedLength", "raw-stream 80 ff 7f 00 00", true},
        BadStreamCase{"TruncatedFrameThatNeverCompletes", "raw-stream 80 20 00 20 00 01", true},
        BadStreamCase{"EmptyFrame", "raw-stream 80 00 00", false},
        BadStreamCase{"MessageShorterThanAHeader", "raw 05 00 01", false},
        BadStreamCase{"TotalLengthBeyondTheFrame", "raw 40 00 00 00 02 82 00 00 01 01 00 00",
                      false},
        BadStreamCase{"FrameLongerThanTheReceiveBuffer",
                      "connect plci=0x1fe called=1 calling=2 rest-raw=" + std::string(4400, 'a'),
                      false}),
    [](const auto &p) { return std::string(p.param.name); });

} // namespace
