#include "tools/routersim/Scenario.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

using routersim::Command;
using routersim::ScenarioError;

/// The command on a line of its own (at(0) throws if there is none).
Command one(const std::string &text)
{
    return routersim::parseScenario(text).at(0);
}

struct LineCase
{
    const char *command;
    const char *fields; // what follows the router's date and time
};

// Each call monitor command gives the router's line, field for field.
TEST(RouterScenario, CallCommandsGiveTheRoutersFields)
{
    const LineCase cases[] = {
        {"ring id=0 caller=0301234567 called=5551234", ";RING;0;0301234567;5551234;SIP0;"},
        {"ring id=1 called=5551234 line=ISDN", ";RING;1;;5551234;ISDN;"},
        {"ring id=2 caller= called=", ";RING;2;;;SIP0;"},
        {"connect id=0 ext=10 number=0301234567", ";CONNECT;0;10;0301234567;"},
        {"connect id=0 ext=10", ";CONNECT;0;10;;"},
        {"disconnect id=0 duration=28", ";DISCONNECT;0;28;"},
        {"disconnect id=3", ";DISCONNECT;3;0;"},
        {"call id=1 ext=11 own=5551234 dialled=0170 line=SIP1", ";CALL;1;11;5551234;0170;SIP1;"},
    };
    for (const auto &c : cases) {
        const Command cmd = one(c.command);
        EXPECT_EQ(cmd.kind, Command::Kind::Send) << c.command;
        EXPECT_TRUE(cmd.dated && cmd.terminate) << c.command;
        EXPECT_EQ(cmd.bytes, c.fields) << c.command;
    }
}

TEST(RouterScenario, LineAndRawSendBytesAsGiven)
{
    const Command line = one("line 07.12.26 14:05:09;RING;0;#x;  # kein Kommentar");
    EXPECT_EQ(line.bytes, "07.12.26 14:05:09;RING;0;#x;  # kein Kommentar");
    EXPECT_TRUE(line.terminate);
    EXPECT_FALSE(line.dated);
    EXPECT_EQ(one("line").bytes, "");
    const Command raw = one("raw 41 ff 00 0a");
    EXPECT_EQ(raw.bytes, std::string("A\xff\0\n", 4));
    EXPECT_FALSE(raw.terminate);
}

TEST(RouterScenario, ControlCommands)
{
    EXPECT_EQ(one("sleep 1.5").seconds, 1.5);
    EXPECT_EQ(one("refuse 20").kind, Command::Kind::Refuse);
    EXPECT_EQ(one("refuse 20").seconds, 20);
    EXPECT_EQ(one("hang-up-on-accept 30").kind, Command::Kind::HangUp);
    EXPECT_EQ(one("hang-up-on-accept 30").seconds, 30);
    EXPECT_EQ(one("wait-for-client").seconds, -1);
    EXPECT_EQ(one("wait-for-client timeout=3").seconds, 3);
    EXPECT_EQ(one("drop-connection").kind, Command::Kind::Drop);
    EXPECT_TRUE(one("endings crlf").crlf);
    EXPECT_FALSE(one("endings lf").crlf);
    EXPECT_EQ(one("exit").kind, Command::Kind::Exit);
    Command c;
    EXPECT_FALSE(routersim::parseCommand("   # comment", 1, c));
    EXPECT_FALSE(routersim::parseCommand("", 1, c));
}

TEST(RouterScenario, MistakesNameTheirLine)
{
    for (const char *bad : {"ring caller=1", "connect id=0", "ring id=0 id=1", "ring id=0 x=1",
                            "raw 4", "raw zz", "raw", "sleep", "sleep -1", "refuse", "endings cr",
                            "drop-connection now", "hangup id=0"}) {
        Command c;
        EXPECT_THROW(routersim::parseCommand(bad, 7, c), ScenarioError) << bad;
    }
    try {
        routersim::parseScenario("sleep 1\n\nbogus\n");
        FAIL();
    } catch (const ScenarioError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("line 3: ", 0), 0u) << e.what();
    }
}

TEST(RouterScenario, RouterTimeHasTheRoutersForm)
{
    const std::string t = routersim::routerTime();
    const std::string shape = "00.00.00 00:00:00";
    ASSERT_EQ(t.size(), shape.size()) << t;
    for (std::size_t i = 0; i < t.size(); ++i)
        EXPECT_EQ(std::isdigit(static_cast<unsigned char>(t[i])) ? '0' : t[i], shape[i]) << t;
}

} // namespace
