// The real program through the real libcapi20 against capisim: a line that is lost and
// comes back, and a peer that sends garbage.
#include "tests/support/CapisimSession.h"
#include "tests/support/ProgramTest.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using ProgramLine = ProgramTest<CapisimSession>;

TEST_F(ProgramLine, LostLineIsToldAndTheNextCallAfterItsReturnIsShownAndLogged)
{
    sim.start("wait-for LISTEN_REQ\n"
              "connect plci=0x101 called=345 calling=3011 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x101\n"
              "drop-connection\n"
              "wait-for LISTEN_REQ\n"
              "connect plci=0x102 called=345 calling=3022 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x102\n"
              "disconnect plci=0x102 reason=0x3490\n",
              {"--applid", std::to_string(CapisimSession::ownApplId())});
    startProgram();
    ASSERT_TRUE(sim.waitForEntry({"ALERT_REQ", {{"plci", "0x101"}}}, 0, 15s));
    ASSERT_TRUE(waitUntil(
        [&] { return err().find("CAPI-Verbindung verloren") != std::string::npos; }, 10s));
    EXPECT_TRUE(program.isRunning());

    // Back within the retry interval (30 s from the first registration) and a tick.
    ASSERT_TRUE(sim.waitForEntry({"LISTEN_REQ", {}}, 1, 40s)) << err();
    EXPECT_EQ(sim.count({"REGISTER", {}}), 2);
    ASSERT_TRUE(
        waitUntil([&] { return log().find("Anrufer hat aufgelegt") != std::string::npos; }, 10s));
    EXPECT_NE(err().find("CAPI-Verbindung wieder hergestellt"), std::string::npos);
    EXPECT_NE(log().find("03022\t345\t"), std::string::npos);
    // The call open when the line went is logged as lost.
    const auto lost = log().find("03011\t345\t");
    ASSERT_NE(lost, std::string::npos);
    EXPECT_LT(lost, log().find("03022"));
    EXPECT_NE(log().find("\tVerbindung verloren\r\n", lost), std::string::npos);
    EXPECT_TRUE(program.isRunning());
}

TEST_F(ProgramLine, GarbageAndTruncatedFramesDoNotCrashTheProgram)
{
    sim.start("wait-for LISTEN_REQ\n"
              "raw 05 00 01\n"
              "raw-stream 80 00 00\n"
              "raw 40 00 00 00 02 82 00 00 01 01 00 00\n"
              "raw 20 00 00 00 04 82 00 00 01 01 00 00\n"
              "connect plci=0x103 called-raw=ff81 calling-raw=ff2180 rest-raw=\n"
              "connect plci=0x104 called=345 calling=3033 rest-raw=" +
                  std::string(4000, 'f') +
                  "\n"
                  "disconnect plci=0x104 reason=0x349A\n"
                  "wait-for DISCONNECT_RESP plci=0x104\n"
                  "raw-stream 41 42 43 44 45\n",
              {"--applid", std::to_string(CapisimSession::ownApplId())});
    startProgram();
    ASSERT_TRUE(sim.waitForEntry({"DISCONNECT_RESP", {{"plci", "0x104"}}}, 0, 20s)) << err();
    ASSERT_TRUE(
        waitUntil([&] { return err().find("CAPI-Verbindung verloren") != std::string::npos; }, 10s))
        << err();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(program.isRunning()) << err();
    EXPECT_NE(log().find("03033\t345\t"), std::string::npos) << log();
}

} // namespace
