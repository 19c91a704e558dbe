// The call monitor line with its real QTcpSocket against routersim on 127.0.0.1.
#include "callmonitor/CallMonitorLine.h"

#include "tests/fakes/RecordingCallEvents.h"
#include "tests/support/RoutersimSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

class MonitorLineIntegration : public ::testing::Test
{
protected:
    RoutersimSession sim;
    RecordingCallEvents events;
    std::vector<std::string> notices;
    std::unique_ptr<CallMonitorLine> line;

    void TearDown() override
    {
        if (line)
            line->stop();
        sim.stop();
    }

    void startLine(const std::string &host = "127.0.0.1")
    {
        line = std::make_unique<CallMonitorLine>(
            host, static_cast<std::uint16_t>(sim.port()),
            [this](const std::string &t) { notices.push_back(t); });
        line->setCallEvents(&events);
        line->start();
    }

    /// Runs the event loop until cond holds; the deadline only guards against a hang.
    template<class Cond> bool spinUntil(Cond cond, std::chrono::milliseconds limit)
    {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > limit.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    bool seen(const std::string &event) const
    {
        return std::find(events.events.begin(), events.events.end(), event) != events.events.end();
    }
    bool told(const std::string &text) const
    {
        return std::find(notices.begin(), notices.end(), text) != notices.end();
    }
};

TEST_F(MonitorLineIntegration, OverlappingWithheldLateAndGarbageLinesBecomeTheirEvents)
{
    sim.start("ring id=0 caller=0301234567 called=5551234\n"
              "ring id=1 caller= called=5551235 line=SIP1\n"
              "endings crlf\n"
              "connect id=1 ext=11 number=\n"
              "line Unsinn vom Router\n"
              "call id=2 ext=12 own=5551234 dialled=0170\n"
              "disconnect id=1 duration=7\n"
              "connect id=2 ext=12\n"
              "disconnect id=2 duration=3\n"
              "endings lf\n"
              "raw 30 37 2e 31 32 3b 44 49 53 43\n" // a line split across two sends
              "sleep 0.2\n"
              "raw 4f 4e 4e 45 43 54 3b 30 3b 31 0a\n");
    startLine("localhost");
    ASSERT_TRUE(spinUntil([&] { return events.events.size() >= 5; }, 20s)) << sim.transcript();
    EXPECT_EQ(events.events,
              (Events{"up", "ring 1 0301234567 5551234", "ring 2 Unbekannt 5551235",
                      "clear 2 Angenommen an Nebenstelle 11", "clear 1 Anrufer hat aufgelegt"}));
    EXPECT_EQ(notices,
              std::vector<std::string>{
                  "Anrufmonitor: Zeile nicht verstanden, übersprungen: Unsinn vom Router"});
}

// The connection dropped while a call rings: the line is told lost, comes back after its
// retry, and the next call arrives.
TEST_F(MonitorLineIntegration, DroppedConnectionIsToldAndRepaired)
{
    sim.start("ring id=0 caller=030 called=555\n"
              "sleep 0.5\n"
              "drop-connection\n"
              "wait-for-client\n"
              "ring id=0 caller=040 called=555\n"
              "disconnect id=0\n");
    startLine();
    ASSERT_TRUE(spinUntil([&] { return seen("lost"); }, 20s)) << sim.transcript();
    EXPECT_TRUE(told("Anrufmonitor-Verbindung verloren"));
    ASSERT_TRUE(spinUntil([&] { return seen("clear 2 Anrufer hat aufgelegt"); }, 30s))
        << sim.transcript();
    EXPECT_EQ(events.events, (Events{"up", "ring 1 030 555", "lost", "up", "ring 2 040 555",
                                     "clear 2 Anrufer hat aufgelegt"}));
    EXPECT_TRUE(told("Anrufmonitor-Verbindung wieder hergestellt"));
    EXPECT_EQ(sim.count("OPEN conn="), 2);
}

// Refused for 7 s: told once, retried after 5 s and 10 s more, then the calls come.
TEST_F(MonitorLineIntegration, RefusedAtFirstThenAccepted)
{
    sim.start("refuse 7\n"
              "ring id=3 caller=030 called=555\n"
              "disconnect id=3\n");
    startLine();
    ASSERT_TRUE(spinUntil([&] { return seen("clear 1 Anrufer hat aufgelegt"); }, 60s))
        << sim.transcript();
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(
        notices[0].rfind(
            "Keine Verbindung zum Anrufmonitor (127.0.0.1:" + std::to_string(sim.port()) + ": ", 0),
        0u)
        << notices[0];
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices.back(), "Anrufmonitor-Verbindung hergestellt");
    EXPECT_EQ(sim.count("OPEN conn="), 1);
}

// A flood of bytes without a line end never stops the line: the next line after it counts.
TEST_F(MonitorLineIntegration, EndlessLineIsDiscarded)
{
    std::string scenario;
    for (int i = 0; i < 64; ++i)
        scenario += "raw " + std::string(2048, 'f') + "\n"; // 64 KiB of 0xff
    scenario += "raw 0a\nring id=0 caller=030 called=555\n";
    sim.start(scenario);
    startLine();
    ASSERT_TRUE(spinUntil([&] { return seen("ring 1 030 555"); }, 20s)) << sim.transcript();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "Anrufmonitor: Zeile nicht verstanden, übersprungen: " + std::string(80, '?'));
}

struct KeepAlive
{
    int on = -1, idle = -1, interval = -1, probes = -1;
};

/// The keepalive settings of this process's TCP socket connected to 127.0.0.1:port.
std::optional<KeepAlive> keepAliveTo(int port)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != port)
            continue;
        KeepAlive k;
        socklen_t size = sizeof(int);
        getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &k.on, &size);
        getsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &k.idle, &size);
        getsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &k.interval, &size);
        getsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &k.probes, &size);
        return k;
    }
    return std::nullopt;
}

// A router that vanishes without a word is noticed within about two minutes.
TEST_F(MonitorLineIntegration, ConnectionUsesTcpKeepalive)
{
    sim.start("ring id=0 caller=030 called=555\n");
    startLine();
    ASSERT_TRUE(spinUntil([&] { return seen("ring 1 030 555"); }, 20s)) << sim.transcript();
    const auto k = keepAliveTo(sim.port());
    ASSERT_TRUE(k.has_value());
    EXPECT_EQ(k->on, 1);
    EXPECT_EQ(k->idle, 60);
    EXPECT_EQ(k->interval, 10);
    EXPECT_EQ(k->probes, 3);
}

} // namespace
