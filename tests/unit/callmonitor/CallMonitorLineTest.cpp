#include "callmonitor/CallMonitorLine.h"

#include "tests/fakes/FakeLineTimer.h"
#include "tests/fakes/FakeMonitorSocket.h"
#include "tests/fakes/RecordingCallEvents.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;
using Notices = std::vector<std::string>;

class MonitorLine : public ::testing::Test
{
protected:
    FakeMonitorSocket *socket = new FakeMonitorSocket;
    FakeLineTimer *timer = new FakeLineTimer;
    Notices notices;
    CallMonitorLine line{"fritz.box", 1012, std::unique_ptr<MonitorSocket>(socket),
                         std::unique_ptr<LineTimer>(timer),
                         [this](const std::string &t) { notices.push_back(t); }};
    RecordingCallEvents events;

    void SetUp() override { line.setCallEvents(&events); }
    void connectNow()
    {
        line.start();
        acceptProven();
    }
    /// The peer accepts and the connection lasts until it counts as up.
    void acceptProven()
    {
        socket->accept();
        ASSERT_EQ(timer->pending, 10000ms);
        timer->fire();
    }
    Notices takeNotices() { return std::exchange(notices, {}); }
    /// The delays of n failed attempts in a row, each refused at once.
    std::vector<std::chrono::milliseconds> refuse(int n)
    {
        std::vector<std::chrono::milliseconds> delays;
        for (int i = 0; i < n; ++i) {
            socket->end("Connection refused");
            delays.push_back(timer->pending.value_or(0ms));
            timer->fire();
        }
        return delays;
    }
};

TEST_F(MonitorLine, StartConnectsToHostAndPortWithATimeout)
{
    line.start();
    ASSERT_EQ(socket->attempts.size(), 1u);
    EXPECT_EQ(socket->attempts[0].host, "fritz.box");
    EXPECT_EQ(socket->attempts[0].port, 1012);
    EXPECT_EQ(timer->pending, 5000ms);
    socket->accept();
    EXPECT_FALSE(line.isLineUp());
    EXPECT_EQ(events.take(), Events{});
    timer->fire();
    EXPECT_FALSE(timer->pending.has_value());
    EXPECT_TRUE(line.isLineUp());
    EXPECT_EQ(events.take(), Events{"up"});
    EXPECT_EQ(takeNotices(), Notices{});
}

TEST_F(MonitorLine, LinesBecomeCallsAsTheyArrive)
{
    connectNow();
    events.take();
    socket->send("07.12.26 14:05:09;RING;0;0301234567;5551234;SIP0;\r\n07.12.26 14:05:12;CON");
    EXPECT_EQ(events.take(), Events{"ring 1 0301234567 5551234"});
    socket->send("NECT;0;10;0301234567;\r\n07.12.26 14:05:40;DISCONNECT;0;28;\r\n");
    EXPECT_EQ(events.take(), Events{"clear 1 Angenommen an Nebenstelle 10"});
}

// The retry waits 5 s, then 10, 20, 40 and never more than 60 s; only the first failure is
// told, and the connection that finally comes is told as made.
TEST_F(MonitorLine, RefusedAttemptsBackOffQuietlyAfterTheFirstMessage)
{
    line.start();
    EXPECT_EQ(refuse(7),
              (std::vector<std::chrono::milliseconds>{5s, 10s, 20s, 40s, 60s, 60s, 60s}));
    EXPECT_EQ(socket->attempts.size(), 8u);
    EXPECT_EQ(takeNotices(),
              Notices{"Keine Verbindung zum Anrufmonitor (fritz.box:1012: Connection refused)"});
    acceptProven();
    EXPECT_EQ(takeNotices(), Notices{"Anrufmonitor-Verbindung hergestellt"});
    EXPECT_EQ(events.take(), Events{"up"});
}

TEST_F(MonitorLine, AnAttemptWithoutAnswerEndsAfterFiveSeconds)
{
    line.start();
    ASSERT_TRUE(timer->fire()); // the 5 s are up
    EXPECT_FALSE(socket->open);
    EXPECT_EQ(takeNotices(), Notices{"Keine Verbindung zum Anrufmonitor (fritz.box:1012: keine "
                                     "Antwort nach 5 s)"});
    // The retry is counted from the end of the failed attempt.
    EXPECT_EQ(timer->pending, 5000ms);
    timer->fire();
    EXPECT_EQ(socket->attempts.size(), 2u);
    EXPECT_EQ(timer->pending, 5000ms); // the time-out of the second attempt
    timer->fire();
    EXPECT_EQ(timer->pending, 10000ms);
}

TEST_F(MonitorLine, LostConnectionIsToldOnceAndRepaired)
{
    connectNow();
    socket->send("d;RING;0;030;555;SIP0;\n");
    events.take();
    socket->end("The remote host closed the connection");
    EXPECT_EQ(takeNotices(), Notices{"Anrufmonitor-Verbindung verloren"});
    EXPECT_EQ(events.take(), Events{"lost"});
    EXPECT_FALSE(line.isLineUp());
    // Refused while the router restarts: quiet, backing off from 5 s.
    EXPECT_EQ(timer->pending, 5000ms);
    timer->fire();
    EXPECT_EQ(refuse(2), (std::vector<std::chrono::milliseconds>{10s, 20s}));
    EXPECT_EQ(takeNotices(), Notices{});
    acceptProven();
    EXPECT_EQ(takeNotices(), Notices{"Anrufmonitor-Verbindung wieder hergestellt"});
    EXPECT_EQ(events.take(), Events{"up"});
    // The call open at the loss is gone: its late DISCONNECT finds nothing; the backoff
    // starts again at 5 s.
    socket->send("d;DISCONNECT;0;0;\nd;RING;0;040;555;\n");
    EXPECT_EQ(events.take(), Events{"ring 2 040 555"});
    socket->end("gone");
    EXPECT_EQ(timer->pending, 5000ms);
}

TEST_F(MonitorLine, RingOnAnOpenIdCompletesTheOldCallAsLost)
{
    connectNow();
    events.take();
    socket->send("d;RING;2;030;555;\nd;RING;2;040;556;\n");
    EXPECT_EQ(events.take(),
              (Events{"ring 1 030 555", "clear 1 Verbindung verloren", "ring 2 040 556"}));
}

// Told once per connection, with the first bad line; a new connection may tell again.
TEST_F(MonitorLine, BadLinesAreToldOncePerConnection)
{
    connectNow();
    socket->send("Hallo\x1b\n");
    socket->send("noch was\nd;RING;0;030;555;\n");
    EXPECT_EQ(takeNotices(), Notices{"Anrufmonitor: Zeile nicht verstanden, übersprungen: Hallo?"});
    EXPECT_EQ(events.take(), (Events{"up", "ring 1 030 555"}));
    socket->end("x");
    takeNotices();
    timer->fire();
    acceptProven();
    takeNotices();
    socket->send("wieder\n");
    EXPECT_EQ(takeNotices(), Notices{"Anrufmonitor: Zeile nicht verstanden, übersprungen: wieder"});
}

// A connection that ends within 10 s without a line is a failed attempt: told once, the
// back-off goes on doubling and the line never comes up. A line, or 10 s, make it up.
TEST(MonitorLineShort, CountsAsUpOnlyWithALineOrTenSeconds)
{
    using Peer = std::function<void(FakeMonitorSocket &, FakeLineTimer &)>;
    const std::vector<std::pair<Peer, bool>> peers{
        {[](FakeMonitorSocket &, FakeLineTimer &) {}, false},
        {[](FakeMonitorSocket &peer, FakeLineTimer &) { peer.send("d;RING;0;0"); }, false},
        {[](FakeMonitorSocket &peer, FakeLineTimer &) { peer.send("d;RING;0;030;5;\n"); }, true},
        {[](FakeMonitorSocket &, FakeLineTimer &clock) { clock.fire(); }, true}};
    for (const auto &[peer, up] : peers) {
        auto *socket = new FakeMonitorSocket;
        auto *timer = new FakeLineTimer;
        Notices notices;
        CallMonitorLine line{"fritz.box", 1012, std::unique_ptr<MonitorSocket>(socket),
                             std::unique_ptr<LineTimer>(timer),
                             [&](const std::string &t) { notices.push_back(t); }};
        RecordingCallEvents events;
        line.setCallEvents(&events);
        line.start();
        std::vector<std::chrono::milliseconds> delays;
        for (int i = 0; i < 6; ++i) {
            socket->accept();
            peer(*socket, *timer);
            socket->end("The remote host closed the connection");
            delays.push_back(timer->pending.value_or(0ms));
            timer->fire();
        }
        using Delays = std::vector<std::chrono::milliseconds>;
        EXPECT_EQ(delays, (up ? Delays(6, 5s) : Delays{5s, 10s, 20s, 40s, 60s, 60s}));
        EXPECT_EQ(events.take().empty(), !up);
        EXPECT_EQ(notices.size(), up ? 11u : 1u); // lost and back each time, or told once
    }
}

TEST_F(MonitorLine, StopDropsTheConnectionAndEverythingScheduled)
{
    line.start();
    line.stop();
    EXPECT_FALSE(socket->open);
    EXPECT_FALSE(timer->pending.has_value());
    connectNow();
    socket->send("d;RING;0;030;555;\n");
    line.stop();
    EXPECT_FALSE(socket->open);
    EXPECT_FALSE(timer->pending.has_value());
    EXPECT_EQ(takeNotices(), Notices{});
}

} // namespace
