#include "tools/capisim/Scenario.h"

#include <gtest/gtest.h>

namespace {

using capisim::Bytes;
using capisim::Command;
using capisim::ScenarioError;

/// The command on a line of its own (at(0) throws if there is none).
Command one(const std::string &text)
{
    return capisim::parseScenario(text).at(0);
}

TEST(Scenario, ConnectBuildsTheIndication)
{
    const Command c = one("connect plci=0x101 called=345 calling=301 ton=0x21 pi=0x80");
    EXPECT_EQ(c.kind, Command::Kind::Send);
    capisim::ConnectSpec s;
    s.plci = 0x101;
    s.called = "345";
    s.calling = "301";
    EXPECT_EQ(c.bytes, capisim::connectInd(s));
}

struct CallerCase
{
    const char *text;
    Bytes calling; // the Calling party number structure
};

// The withheld kinds and the number types of the demo, as structures.
TEST(Scenario, CallingPartyStructures)
{
    const CallerCase cases[] = {
        {"connect plci=1 called=345 calling= ton=0x81 pi=0xA0", {0x02, 0x81, 0xa0}},
        {"connect plci=1 called=345 calling= ton=0 pi=0x20", {0x02, 0x00, 0x20}},
        {"connect plci=1 called=345 calling= ton=0x80 pi=0x20", {0x02, 0x80, 0x20}},
        {"connect plci=1 called=345 calling=4930 ton=0x11", {0x06, 0x11, 0x80, '4', '9', '3', '0'}},
        {"connect plci=1 called=345 calling-raw=0181", {0x01, 0x81}},
    };
    for (const auto &c : cases) {
        const Command cmd = one(c.text);
        // header 8, PLCI 4, CIP 2, called 5
        const Bytes got(cmd.bytes.begin() + 19, cmd.bytes.begin() + 19 + c.calling.size());
        EXPECT_EQ(got, c.calling) << c.text;
    }
}

TEST(Scenario, CalledTonAndRawCalled)
{
    EXPECT_EQ(one("connect plci=1 called=12 called-ton=0x80").bytes[15], 0x80);
    const Command raw = one("connect plci=1 called-raw=00 calling-raw=00 rest-raw=");
    EXPECT_EQ(raw.bytes.size(), 16u);
}

TEST(Scenario, OtherCommands)
{
    EXPECT_EQ(one("disconnect plci=0x101 reason=0x349A").bytes,
              capisim::disconnectInd(0x101, 0x349a));
    EXPECT_EQ(one("info plci=0x101").bytes, capisim::infoInd(0x101, 0x18));
    EXPECT_EQ(one("info plci=0x101 number=0x8001").bytes, capisim::infoInd(0x101, 0x8001));
    const Command raw = one("raw 0c 00 01 00 08 82 00 00 01 01 00 00");
    EXPECT_EQ(raw.kind, Command::Kind::Send);
    EXPECT_EQ(raw.bytes.size(), 12u);
    const Command stream = one("raw-stream 80 ff");
    EXPECT_EQ(stream.kind, Command::Kind::SendStream);
    EXPECT_EQ(stream.bytes, (Bytes{0x80, 0xff}));
    const Command sleep = one("sleep 1.5");
    EXPECT_EQ(sleep.kind, Command::Kind::Sleep);
    EXPECT_DOUBLE_EQ(sleep.seconds, 1.5);
    const Command wait = one("wait-for ALERT_REQ plci=0x101 timeout=3");
    EXPECT_EQ(wait.kind, Command::Kind::WaitFor);
    EXPECT_EQ(wait.condition.name, "ALERT_REQ");
    ASSERT_EQ(wait.condition.fields.size(), 1u);
    EXPECT_EQ(wait.condition.fields[0], (std::pair<std::string, std::string>{"plci", "0x101"}));
    EXPECT_DOUBLE_EQ(wait.seconds, 3);
    EXPECT_LT(one("wait-for LISTEN_REQ").seconds, 0); // no timeout
    EXPECT_EQ(one("listen-info 0x2002").info, 0x2002);
    EXPECT_EQ(one("drop-connection").kind, Command::Kind::DropConnection);
    const Command restart = one("restart 2");
    EXPECT_EQ(restart.kind, Command::Kind::Restart);
    EXPECT_DOUBLE_EQ(restart.seconds, 2);
    EXPECT_DOUBLE_EQ(one("restart").seconds, 0);
    EXPECT_EQ(one("exit").kind, Command::Kind::Exit);
    EXPECT_EQ(one("silent").kind, Command::Kind::Silent);
    EXPECT_EQ(one("talk").kind, Command::Kind::Talk);
}

TEST(Scenario, DataB3IndWithItsLengths)
{
    // Total 30 with Data64, 16 data bytes behind it.
    const Bytes plain = one("data-b3 ncci=0x10101").bytes;
    ASSERT_EQ(plain.size(), 30u + 16u);
    EXPECT_EQ(plain[0], 30);
    EXPECT_EQ(plain[1], 0);
    EXPECT_EQ(plain[4], 0x86);
    EXPECT_EQ(plain[5], 0x82);
    EXPECT_EQ(plain[8], 0x01);
    EXPECT_EQ(plain[9], 0x01);
    EXPECT_EQ(plain[10], 0x01);
    EXPECT_EQ(plain[16], 16); // Data Length
    EXPECT_EQ(plain[30], 0x55);
    EXPECT_EQ(capisim::decode(Bytes(plain.begin(), plain.begin() + 30)).name, "DATA_B3_IND");

    // A short Total length announcing 64 KiB: the frame takes what fits.
    const Bytes shortTotal = one("data-b3 ncci=0x10101 total=22 length=0xffff").bytes;
    EXPECT_EQ(shortTotal.size(), 4096u);
    EXPECT_EQ(shortTotal[0], 22);
    EXPECT_EQ(shortTotal[16], 0xff);
    EXPECT_EQ(shortTotal[17], 0xff);
    EXPECT_EQ(shortTotal[22], 0x55);

    const Bytes ncci0 = one("data-b3 ncci=0 total=12 length=4 data=0 handle=7").bytes;
    EXPECT_EQ(ncci0, capisim::fromHex("0c 00 00 00 86 82 00 00 00 00 00 00"));
    EXPECT_EQ(one("data-b3 ncci=1 total=30 length=4 handle=0x102").bytes[18], 0x02);
    EXPECT_EQ(one("data-b3 ncci=1 total=30 length=4 handle=0x102").bytes[19], 0x01);

    EXPECT_THROW(one("data-b3 total=30"), ScenarioError);
    EXPECT_THROW(one("data-b3 ncci=1 total=7"), ScenarioError);
    EXPECT_THROW(one("data-b3 ncci=1 total=30 data=4090"), ScenarioError);
    EXPECT_THROW(one("silent now"), ScenarioError);
}

TEST(Scenario, BlankLinesAndCommentsAreSkipped)
{
    const auto s = capisim::parseScenario("# demo\n\n   \nsleep 1 # a second\nexit\n");
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].line, 4);
    EXPECT_EQ(s[1].line, 5);
}

TEST(Scenario, ErrorsNameTheLine)
{
    const char *bad[] = {
        "ring plci=1",                      // unknown command
        "connect called=345",               // no PLCI
        "connect plci=1 colour=red",        // unknown key
        "connect plci=1 plci=2",            // twice
        "connect plci=0x1ffffffff",         // too large
        "connect plci=1 ton=256",           // not a byte
        "connect plci=1 ton=-1",            // negative
        "connect plci=1 calling-raw=0",     // odd hex
        "disconnect plci=1",                // no reason
        "disconnect plci=1 reason=0x10000", // not a word
        "sleep",                            // no seconds
        "sleep -1",                         // negative
        "sleep soon",                       // not a number
        "raw",                              // no bytes
        "raw zz",                           // not hex
        "wait-for",                         // no name
        "wait-for X plci",                  // not key=value
        "restart 1 2",                      // too many
        "drop-connection now",              // too many
    };
    for (const char *text : bad) {
        try {
            capisim::parseScenario(std::string("sleep 0\n") + text + "\n");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const ScenarioError &e) {
            EXPECT_EQ(e.line(), 2) << text;
            EXPECT_EQ(std::string(e.what()).rfind("line 2: ", 0), 0u) << e.what();
        }
    }
}

TEST(Scenario, MessageBeyondTheLargestFrameIsRefused)
{
    EXPECT_THROW(one("connect plci=1 rest-raw=" + std::string(2 * 4100, 'a')), ScenarioError);
}

} // namespace
