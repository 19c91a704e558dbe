// The libcapi20 adapter against capisim through the real library: peers that cannot be
// reached, that never answer, and frames the library must not see.
#include "capi/CapiRecords.h"
#include "capi/CapiResult.h"
#include "capi/Libcapi20Capi.h"
#include "tests/support/CapisimSession.h"
#include "tests/support/Watchdog.h"
#include "tools/capisim/Protocol.h"

#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using capisim::Bytes;

class Adapter : public ::testing::Test
{
protected:
    const int applId = CapisimSession::ownApplId();
    CapisimSession sim;
    Libcapi20Capi capi;
    std::uint32_t id = 0;
    std::vector<Bytes> fetched;
    std::uint32_t lastResult = 0;

    explicit Adapter(int port = 0) : sim(port) {}

    void TearDown() override
    {
        if (id)
            capi.CAPI_RELEASE(id);
    }
    void startWith(const std::string &scenario, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--applid", std::to_string(applId)});
        sim.start(scenario, extra);
    }
    std::uint32_t registerApp() { return capi.CAPI_REGISTER(3072, 2, 7, 2048, id); }
    void registerAndListen()
    {
        ASSERT_EQ(registerApp(), 0u) << capi.lastFailure();
        ListenReqRecord listen;
        fillListenReq(listen, id);
        ASSERT_EQ(capi.CAPI_PUT_MESSAGE(id, listen.bytes()), 0u);
    }
    /// Fetches every 20 ms until cond holds; false on time-out or a result other than a
    /// message or an empty queue (kept in lastResult).
    template<class Cond> bool fetchUntil(Cond cond, std::chrono::milliseconds limit = 10s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            CapiMessage m;
            lastResult = capi.CAPI_GET_MESSAGE(id, m);
            if (lastResult == 0)
                fetched.emplace_back(m.data, m.data + m.size);
            else if (lastResult != CapiResult::QueueEmpty)
                return false;
            if (cond())
                return true;
            if (lastResult != 0)
                std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    bool hasMessage(std::uint8_t command, std::uint8_t subcommand, std::uint32_t plci) const
    {
        for (const auto &m : fetched)
            if (m.size() >= 12 && m[4] == command && m[5] == subcommand &&
                readDword(m.data() + 8) == plci)
                return true;
        return false;
    }
    int sockopt(int level, int name) const
    {
        int value = -1;
        socklen_t len = sizeof value;
        getsockopt(capi.registrationFd(), level, name, &value, &len);
        return value;
    }
};

// A peer that vanished without a word is noticed by keepalive and the user timeout.
TEST_F(Adapter, RegistrationSocketWatchesThePeer)
{
    startWith("");
    ASSERT_EQ(registerApp(), 0u);
    ASSERT_GE(capi.registrationFd(), 0);
    EXPECT_EQ(sockopt(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(sockopt(IPPROTO_TCP, TCP_KEEPIDLE), 60);
    EXPECT_EQ(sockopt(IPPROTO_TCP, TCP_KEEPINTVL), 10);
    EXPECT_EQ(sockopt(IPPROTO_TCP, TCP_KEEPCNT), 3);
    EXPECT_EQ(sockopt(IPPROTO_TCP, TCP_USER_TIMEOUT), 90000);
    EXPECT_EQ(sockopt(IPPROTO_TCP, TCP_NODELAY), 1);
}

TEST_F(Adapter, RefusedListenArrivesWithItsInfo)
{
    startWith("", {"--listen-info", "0x2002"});
    registerAndListen();
    ASSERT_TRUE(fetchUntil([&] { return hasMessage(0x05, 0x81, 1); })) << lastResult;
    EXPECT_EQ(readWord(fetched.back().data() + 12), 0x2002);
}

struct HostileCase
{
    const char *name;
    std::string frames; // sent once the LISTEN_REQ is there
    int dropped;        // frames the adapter must have taken off the socket
};

void PrintTo(const HostileCase &c, std::ostream *os)
{
    *os << c.name;
}

class Hostile : public Adapter, public ::testing::WithParamInterface<HostileCase>
{
};

// libcapi20 3.27 overruns its buffers on a short DATA_B3_IND and asserts on NCCI 0 at the
// next DISCONNECT_IND; none of it may reach the library, and the calls after it must.
TEST_P(Hostile, FramesAreDroppedAndTheNextCallArrives)
{
    startWith("wait-for LISTEN_REQ\n" + GetParam().frames +
              "\nconnect plci=0x1ff called=345 calling=3011\n"
              "disconnect plci=0x1ff reason=0x3490\n");
    registerAndListen();
    Watchdog dog(30s, "fetches after hostile frames");
    ASSERT_TRUE(fetchUntil([&] { return hasMessage(0x04, 0x82, 0x1ff); }))
        << std::hex << lastResult;
    EXPECT_TRUE(hasMessage(0x02, 0x82, 0x1ff));
    EXPECT_EQ(capi.droppedFrames(), GetParam().dropped);
    for (const auto &m : fetched) {
        EXPECT_NE(m[4], 0x86) << "DATA_B3 reached the library";
        EXPECT_EQ(readWord(m.data()), m.size());
    }
    // Still the same line: nothing lost, nothing out of step.
    CapiMessage m;
    EXPECT_EQ(capi.CAPI_GET_MESSAGE(id, m), CapiResult::QueueEmpty);
}

std::string repeat(const std::string &line, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += line + "\n";
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Hostile,
    ::testing::Values(
        HostileCase{"DataB3ShortTotalAnnouncing64KiB",
                    "data-b3 ncci=0x10101 total=22 length=0xffff", 1},
        HostileCase{"DataB3ShortTotals",
                    "data-b3 ncci=0x10101 total=8 length=0xffff\n"
                    "data-b3 ncci=0x10101 total=12 length=4000\n"
                    "data-b3 ncci=0x10101 total=29 length=0x8000 data=0",
                    3},
        HostileCase{"DataB3Ncci0ThenDisconnect",
                    "data-b3 ncci=0 total=30 length=4\ndisconnect plci=0 reason=0", 1},
        HostileCase{"DataB3Plain", "data-b3 ncci=0x10101", 1},
        // More than the library has receive buffers (it keeps one per DATA_B3_IND), and
        // more than one fetch drops.
        HostileCase{"DataB3Flood", repeat("data-b3 ncci=0x10101 length=100", 40), 40},
        HostileCase{"OtherMessages",
                    "raw 0d 00 00 00 82 82 00 00 01 01 01 00 00\n"
                    "raw 0e 00 00 00 02 81 00 00 01 01 00 00 00 00\n"
                    "raw 08 00 00 00 77 82 00 00",
                    3},
        HostileCase{"InconsistentLengths",
                    "raw 40 00 00 00 02 82 00 00 01 01 00 00\n"
                    "raw 05 00 01\n"
                    "raw-stream 80 00 00\n"
                    "raw 0c 00 00 00 04 82 00 00 01 01 00 00 00 00\n"
                    "connect plci=0x103 called-raw=ff81 calling-raw=ff2180 rest-raw=\n"
                    "connect plci=0x104 called=1 calling=2 rest-raw=" +
                        std::string(4400, 'a'),
                    6}),
    [](const auto &p) { return std::string(p.param.name); });

class Unreachable : public Adapter
{
protected:
    Unreachable() : Adapter(CapisimSession::freePort()) {}
};

// Nothing listens: refused at once, and the line can say where.
TEST_F(Unreachable, ClosedPortFailsTheRegistrationWithoutTheLibrary)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(registerApp(), CapiResult::RegNotInstalled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(capi.lastFailure().rfind("127.0.0.1:" + std::to_string(sim.port()) + ": ", 0), 0u)
        << capi.lastFailure();
}

// A host that drops SYNs would hold the library's connect for about two minutes; the probe
// gives up after its 5 s.
TEST_F(Adapter, HostThatDropsSynsFailsWithinTheProbeTimeout)
{
    startWith("", {"--full-queue"});
    Watchdog dog(30s, "a registration with a full accept queue");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(registerApp(), CapiResult::RegNotInstalled);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 4500ms);
    EXPECT_LT(took, 20s);
    EXPECT_NE(capi.lastFailure().find("keine Antwort"), std::string::npos) << capi.lastFailure();
    EXPECT_EQ(sim.count({"REGISTER", {}}), 0);
}

// A peer that accepts and never answers passes the probe; the library's registration then
// waits until the connection goes, which only a thread of its own can afford.
TEST_F(Adapter, PeerThatNeverAnswersHoldsTheRegistrationUntilItGoes)
{
    startWith("", {"--never-answer"});
    auto result = std::async(std::launch::async, [this] { return registerApp(); });
    ASSERT_TRUE(sim.waitForEntry({"REGISTER", {{"ignored", "1"}}}));
    EXPECT_EQ(result.wait_for(1s), std::future_status::timeout);
    sim.stop();
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
    EXPECT_NE(result.get(), 0u);
    EXPECT_EQ(id, 0u);
}

// The line comes back once the peer answers again: a later registration works.
TEST_F(Adapter, SilentPeerKeepsTheLineAndIsHeardAgainAfterTalk)
{
    startWith("wait-for LISTEN_REQ\nsilent\nsleep 1.5\ntalk\n"
              "connect plci=0x1fd called=1 calling=2\n");
    registerAndListen();
    ASSERT_TRUE(sim.waitForEntry({"SILENT", {}}));
    // Nothing comes, the line stays.
    EXPECT_FALSE(fetchUntil([&] { return hasMessage(0x02, 0x82, 0x1fd); }, 500ms));
    EXPECT_EQ(lastResult, CapiResult::QueueEmpty);
    // What the program sends meanwhile is taken and left unanswered.
    AlertReqRecord alert;
    fillAlertReq(alert, id, 0x1fc);
    ASSERT_EQ(capi.CAPI_PUT_MESSAGE(id, alert.bytes()), 0u);
    EXPECT_TRUE(sim.waitForEntry({"ALERT_REQ", {{"ignored", "1"}}}));
    ASSERT_TRUE(fetchUntil([&] { return hasMessage(0x02, 0x82, 0x1fd); }));
}

} // namespace
