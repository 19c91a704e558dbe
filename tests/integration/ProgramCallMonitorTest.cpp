// The real program taking its calls from routersim's call monitor on 127.0.0.1: what reaches
// caller.log and stderr.
#include "tests/support/ProgramTest.h"
#include "tests/support/RoutersimSession.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class ProgramCallMonitor : public ProgramTest<RoutersimSession>
{
protected:
    void startProgram()
    {
        std::ofstream(sim.path("klingelwacht.INI"))
            << "[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=" << sim.port() << "\r\n";
        ProgramTest::startProgram();
    }
    /// A completed line of caller.log: caller, MSN, date, time, handling.
    bool logged(const std::string &caller, const std::string &msn, const std::string &handling)
    {
        std::istringstream in(log());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');)
                f.push_back(field);
            if (f.size() == 5 && f[0] == caller && f[1] == msn && !f[2].empty() && !f[3].empty() &&
                f[4] == handling)
                return true;
        }
        return false;
    }
    bool waitLogged(const std::string &caller, const std::string &msn, const std::string &handling,
                    std::chrono::milliseconds limit)
    {
        return waitUntil([&] { return logged(caller, msn, handling); }, limit);
    }
};

// Two calls ring at once; the withheld one ends first, and the DISCONNECT of the older call
// comes late: each is completed with its own handling text.
TEST_F(ProgramCallMonitor, OverlappingWithheldAndLateDisconnectEachCompleteTheirOwnCall)
{
    sim.start("ring id=0 caller=0301111 called=555\n"
              "sleep 0.3\n"
              "ring id=1 caller= called=556 line=SIP1\n"
              "sleep 0.3\n"
              "connect id=0 ext=12 number=0301111\n"
              "line garbage from the router\n"
              "sleep 0.3\n"
              "disconnect id=1 duration=0\n"
              "sleep 0.3\n"
              "call id=2 ext=11 own=555 dialled=0170\n"
              "disconnect id=2 duration=4\n"
              "sleep 0.3\n"
              "disconnect id=0 duration=9\n");
    startProgram();
    ASSERT_TRUE(waitLogged("0301111", "555", "Angenommen an Nebenstelle 12", 20s))
        << log() << err();
    EXPECT_TRUE(logged("Unbekannt", "556", "Anrufer hat aufgelegt")) << log();
    // Exactly these two calls: the outgoing one and the garbage line logged nothing.
    const std::string text = log();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text; // start marker + 2
    EXPECT_NE(err().find("Klingelwacht: Anrufmonitor: Zeile nicht verstanden, übersprungen: "
                         "garbage from the router"),
              std::string::npos)
        << err();
    EXPECT_EQ(err().find("CAPI"), std::string::npos) << err();
    EXPECT_TRUE(program.isRunning());
}

// The connection dropped while a call rings: that call is logged as lost, stderr says so,
// and the next call after the reconnect is logged.
TEST_F(ProgramCallMonitor, DroppedConnectionWhileRingingIsLoggedAndRepaired)
{
    sim.start("ring id=0 caller=0302222 called=555\n"
              "sleep 0.5\n"
              "drop-connection\n"
              "wait-for-client\n"
              "ring id=0 caller=0303333 called=555\n"
              "sleep 0.3\n"
              "disconnect id=0 duration=0\n");
    startProgram();
    ASSERT_TRUE(waitLogged("0302222", "555", "Verbindung verloren", 20s)) << log() << err();
    EXPECT_NE(err().find("Klingelwacht: Anrufmonitor-Verbindung verloren"), std::string::npos)
        << err();
    ASSERT_TRUE(waitLogged("0303333", "555", "Anrufer hat aufgelegt", 30s)) << log() << err();
    EXPECT_NE(err().find("Klingelwacht: Anrufmonitor-Verbindung wieder hergestellt"),
              std::string::npos)
        << err();
    EXPECT_EQ(sim.count("OPEN conn="), 2);
}

// A router that refuses for 20 s (a restart): told once, retried quietly, and the calls after
// it accepts are logged.
TEST_F(ProgramCallMonitor, RouterRefusingFor20SecondsThenCallsAreLogged)
{
    sim.start("refuse 20\n"
              "ring id=5 caller=0304444 called=557\n"
              "sleep 0.3\n"
              "disconnect id=5 duration=0\n");
    startProgram();
    // Attempts at 0, 5, 15 and 35 s; the deadline only guards against a hang.
    ASSERT_TRUE(waitLogged("0304444", "557", "Anrufer hat aufgelegt", 90s)) << log() << err();
    const std::string e = err();
    const std::string refused =
        "Klingelwacht: Keine Verbindung zum Anrufmonitor (127.0.0.1:" + std::to_string(sim.port());
    ASSERT_NE(e.find(refused), std::string::npos) << e;
    EXPECT_EQ(e.find(refused), e.rfind(refused)) << "told more than once: " << e;
    EXPECT_EQ(sim.count("OPEN conn="), 1);
}

// With a folder of 10 000 contacts and a damaged card among them, calls are logged with
// their numbers byte for byte, as without address books, and the damage is told once.
TEST_F(ProgramCallMonitor, AddressBooksLeaveTheLogAsItWas)
{
    const fs::path cards = sim.path("Kontakte");
    fs::create_directories(cards);
    for (int i = 0; i < 10000; ++i)
        std::ofstream(cards / ("c" + std::to_string(i) + ".vcf"))
            << "BEGIN:VCARD\nVERSION:3.0\nFN:Kontakt " << i << "\nTEL:030 " << 1000000 + i
            << "\nEND:VCARD\n";
    std::ofstream(cards / "kaputt.vcf") << "BEGIN:VCARD\nFN:Abgeschnitten\nTEL:0301\n";
    sim.start("sleep 0.5\nring id=0 caller=0301000007 called=555\nsleep 0.2\n"
              "disconnect id=0 duration=0\n");
    std::ofstream(sim.path("klingelwacht.INI"))
        << "[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=" << sim.port()
        << "\r\n[Telefonbuch]\r\nvCard1=" << cards.string() << "\r\nOrtsvorwahl=030\r\n";
    ProgramTest::startProgram();
    ASSERT_TRUE(waitLogged("0301000007", "555", "Anrufer hat aufgelegt", 20s)) << log() << err();
    EXPECT_TRUE(waitUntil([&] { return err().find("kaputt.vcf:1: Karte") != std::string::npos; }))
        << err();
    const std::string e = err();
    EXPECT_EQ(e.find("kaputt.vcf"), e.rfind("kaputt.vcf")) << e;
    EXPECT_TRUE(program.isRunning());
}

// A router that accepts and closes at once: each short connection is a failed attempt, so
// the retries back off (at 0, 5 and 15 s; the next at 35 s) and the failure is told once,
// never as a connection made and lost.
TEST_F(ProgramCallMonitor, PeerThatAcceptsAndClosesAtOnceBacksOffAndIsToldOnce)
{
    sim.start("hang-up-on-accept 120\n");
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return sim.count("OPEN conn=") >= 1; }, 20s)) << err();
    std::this_thread::sleep_for(17s);
    EXPECT_EQ(sim.count("OPEN conn="), 3) << sim.transcript();
    const std::string e = err();
    const std::string told = "Klingelwacht: Keine Verbindung zum Anrufmonitor";
    ASSERT_NE(e.find(told), std::string::npos) << e;
    EXPECT_EQ(e.find(told), e.rfind(told)) << e;
    EXPECT_EQ(e.find("Anrufmonitor-Verbindung"), std::string::npos) << e; // made, lost
}

} // namespace
