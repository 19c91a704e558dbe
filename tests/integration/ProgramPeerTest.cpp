// The real program against peers that misbehave: one that never answers, one whose accept
// queue is full, one that sends frames the library cannot take, one that refuses the
// LISTEN_REQ, one that falls silent. In each the program lives on, takes the call that
// comes once the peer behaves, and ends on SIGTERM within 5 s with the end marker.
#include "tests/support/CapisimSession.h"
#include "tests/support/ProgramTest.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kCall = "connect plci=0x1ff called=345 calling=3011\n"
                          "wait-for ALERT_REQ plci=0x1ff\n"
                          "disconnect plci=0x1ff reason=0x3490\n";

class ProgramPeer : public ProgramTest<CapisimSession>
{
protected:
    void startSim(const std::string &scenario, std::vector<std::string> extra = {})
    {
        extra.insert(extra.end(), {"--applid", std::to_string(CapisimSession::ownApplId())});
        sim.start(scenario, extra);
    }
    /// SIGTERM: the program is gone within 5 s, with status 0 and the end marker.
    void expectCleanEnd()
    {
        ASSERT_TRUE(program.isRunning()) << err();
        const auto start = std::chrono::steady_clock::now();
        program.signal(SIGTERM);
        const int status = program.wait(15s);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(status, 0);
        EXPECT_LT(took, 5s);
        static const std::regex end(R"(#  \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d   Ende\r\n$)");
        EXPECT_TRUE(std::regex_search(log(), end)) << log();
    }
};

struct PeerCase
{
    const char *name;
    std::vector<std::string> args;
    std::string scenario;
    /// When not empty: once stderr says this, the peer is replaced by one that behaves.
    std::string replaceAfter;
    /// What stderr must have said by the end; with a leading '!', what it must not.
    std::string toldText;
};

void PrintTo(const PeerCase &c, std::ostream *os)
{
    *os << c.name;
}

class Peers : public ProgramPeer, public ::testing::WithParamInterface<PeerCase>
{
};

TEST_P(Peers, ProgramLivesTakesTheNextCallAndEndsCleanly)
{
    const auto &c = GetParam();
    startSim(c.scenario, c.args);
    startProgram();
    if (!c.replaceAfter.empty()) {
        ASSERT_TRUE(waitUntil([&] { return told(c.replaceAfter); }, 30s));
        EXPECT_TRUE(program.isRunning());
        sim.stop();
        startSim("wait-for LISTEN_REQ\n" + kCall);
    }
    // The retry interval is 30 s, counted from the end of the failed attempt.
    ASSERT_TRUE(waitUntil([&] { return log().find("03011\t345\t") != std::string::npos; }, 60s));
    ASSERT_TRUE(waitUntil(
        [&] { return log().find("\tAnrufer hat aufgelegt\r\n") != std::string::npos; }, 10s))
        << log();
    if (c.toldText.starts_with('!'))
        EXPECT_FALSE(told(c.toldText.substr(1)));
    else
        EXPECT_TRUE(told(c.toldText));
    expectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Program, Peers,
    ::testing::Values(
        PeerCase{"FullAcceptQueue", {"--full-queue"}, "", "Keine CAPI-Verbindung", "0x1009"},
        PeerCase{"DataB3ShortTotalsAndNcci0",
                 {},
                 "wait-for LISTEN_REQ\n"
                 "data-b3 ncci=0x10101 total=22 length=0xffff\n"
                 "data-b3 ncci=0x10101 total=8 length=4000\n"
                 "data-b3 ncci=0 total=30 length=4\n"
                 "disconnect plci=0 reason=0\n" +
                     kCall,
                 "",
                 "!CAPI-Verbindung verloren"},
        PeerCase{"ListenRefused",
                 {"--listen-info", "0x2002"},
                 "wait-for LISTEN_REQ\nlisten-info 0\nwait-for LISTEN_REQ\n" + kCall,
                 "",
                 "0x2002"},
        PeerCase{"FallsSilentForAWhile",
                 {},
                 "wait-for LISTEN_REQ\nsilent\nsleep 3\ntalk\n" + kCall,
                 "",
                 "!CAPI-Verbindung verloren"}),
    [](const auto &p) { return std::string(p.param.name); });

// The never-answering peer is replaced once the registration is seen hanging.
TEST_F(ProgramPeer, NeverAnsweringPeerThenOneThatBehaves)
{
    startSim("", {"--never-answer"});
    startProgram();
    ASSERT_TRUE(sim.waitForEntry({"REGISTER", {{"ignored", "1"}}}, 0, 15s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(program.isRunning());
    sim.stop();
    startSim("wait-for LISTEN_REQ\n" + kCall);
    ASSERT_TRUE(waitUntil(
        [&] { return log().find("\tAnrufer hat aufgelegt\r\n") != std::string::npos; }, 60s))
        << log();
    EXPECT_NE(log().find("03011\t345\t"), std::string::npos);
    expectCleanEnd();
}

// Asked to end while the library hangs in the registration: the thread is left behind.
TEST_F(ProgramPeer, EndsWhileTheRegistrationHangs)
{
    startSim("", {"--never-answer"});
    startProgram();
    ASSERT_TRUE(sim.waitForEntry({"REGISTER", {{"ignored", "1"}}}, 0, 15s));
    std::this_thread::sleep_for(500ms);
    expectCleanEnd();
}

// Asked to end while the probe waits for a host that drops SYNs.
TEST_F(ProgramPeer, EndsWhileTheProbeWaits)
{
    startSim("", {"--full-queue"});
    startProgram();
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(told("Keine CAPI-Verbindung"));
    expectCleanEnd();
}

} // namespace
