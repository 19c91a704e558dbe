#include "CallMonitor.h"

#include "CallLog.h"
#include "CapiLine.h"
#include "CapiMessages.h"
#include "FakeCapi.h"
#include "FakeClock.h"
#include "FakeKeyboard.h"
#include "FakeTray.h"
#include "LockKeySignaller.h"
#include "RecordingViews.h"
#include "TrayRecord.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using B = std::vector<std::uint8_t>;

/// Keyboard that notes its toggles in the views' journal, so the order across the
/// collaborators can be checked in one list.
class JournalKeyboard final : public KeyboardSynth
{
public:
    explicit JournalKeyboard(std::vector<std::string> &j) : journal(j) {}
    std::vector<std::string> &journal;
    void toggleLockKey(LockKey key) override
    {
        journal.push_back("toggle:" + std::to_string(static_cast<int>(key)));
    }
};

class CallMonitorTest : public ::testing::Test
{
protected:
    fs::path dir;
    FakeCapi capi;
    CapiState state;
    CallState calls;
    CapiLine line{capi, state};
    RecordingViews views;
    JournalKeyboard keyboard{views.calls};
    LockKeyFlags flags;
    LockKeySignaller lockKeys{keyboard, flags};
    FakeTray tray;
    TrayRecord trayRecord;
    FakeClock clock;
    std::unique_ptr<CallLog> log;
    int counter = 0;
    std::unique_ptr<CallMonitor> monitor;

    void SetUp() override
    {
        std::setlocale(LC_TIME, "C");
        char tmpl[] = "/tmp/kw-mon-XXXXXX";
        dir = mkdtemp(tmpl);
        log = std::make_unique<CallLog>((dir / "caller.log").string());
        capi.nextApplId = 2;
        line.registerApplication();
        monitor = std::make_unique<CallMonitor>(CallMonitor::Parts{
            state, calls, line, views, lockKeys, tray, trayRecord, *log, clock, counter});
        line.setCallHandler(monitor.get());
    }
    void TearDown() override { fs::remove_all(dir); }

    void deliver(const B &m)
    {
        capi.queueMessage(m);
        line.Get_Capi_Message();
    }
    std::string logText()
    {
        std::ifstream in(dir / "caller.log", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

const std::string kLineA = "0301\t345\t12/30/00\t14:05:09";

TEST_F(CallMonitorTest, IncomingCallStepsInOrder)
{
    lockKeys.setMsn(1, "45");
    lockKeys.setMsn(2, "99");
    lockKeys.setMsn(3, "3");
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    EXPECT_EQ(views.calls,
              (std::vector<std::string>{"GridInsertTop:" + kLineA, "ListAppendLine:" + kLineA,
                                        "toggle:0", "toggle:2"}));
    EXPECT_EQ(tray.calls, std::vector<std::string>{"modify:" + kLineA});
    EXPECT_EQ(calls.currentCall, kLineA);
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0], (B{17, 0, 2, 0, 0x01, 0x80, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CallMonitorTest, ClearingCompletesRowItemLogAndCounter)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    views.calls.clear();
    deliver(msg::disconnectInd(0x101, 0x349A, 9));
    const std::string done = kLineA + "\tAngenommen am S0-Bus";
    EXPECT_EQ(views.calls,
              (std::vector<std::string>{"GridSetHandling:1:Angenommen am S0-Bus",
                                        "ListReplaceItem:0:" + done, "ShowCallCount:1"}));
    EXPECT_EQ(views.row(1), done);
    EXPECT_EQ(views.item(0), done);
    EXPECT_EQ(logText(), done + "\r\n");
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 1");
    ASSERT_EQ(capi.puts.size(), 2u);
    EXPECT_EQ(capi.puts[1], (B{12, 0, 2, 0, 0x04, 0x83, 9, 0, 0x01, 0x01, 0, 0}));
    // The tooltip keeps the incoming call.
    EXPECT_EQ(tray.calls, std::vector<std::string>{"modify:" + kLineA});
}

TEST_F(CallMonitorTest, OverlappingCallsEachGetTheirOwnHandling)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    clock.advanceSecond();
    deliver(msg::connectInd(0x201, msg::callParams("346", "4930")));
    const std::string lineB = "04930\t346\t12/30/00\t14:05:10";
    deliver(msg::disconnectInd(0x101, 0x3490));
    deliver(msg::disconnectInd(0x201, 0x349A));

    const std::string doneA = kLineA + "\tAnrufer hat aufgelegt";
    const std::string doneB = lineB + "\tAngenommen am S0-Bus";
    EXPECT_EQ(views.row(1), doneB);
    EXPECT_EQ(views.row(2), doneA);
    EXPECT_EQ(views.item(0), doneA);
    EXPECT_EQ(views.item(1), doneB);
    EXPECT_EQ(logText(), doneA + "\r\n" + doneB + "\r\n");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(tray.calls.back(), "modify:" + lineB);
    ASSERT_EQ(capi.puts.size(), 4u);
    EXPECT_EQ(capi.puts[1][8], 0x01); // ALERT_REQ B: 0x201
    EXPECT_EQ(capi.puts[1][9], 0x02);
    EXPECT_EQ(capi.puts[2][4], 0x04); // DISCONNECT_RESP A carries A's PLCI
    EXPECT_EQ(capi.puts[2][9], 0x01);
    EXPECT_EQ(capi.puts[3][9], 0x02);
}

TEST_F(CallMonitorTest, SecondClearingOfACallIsOnlyAnswered)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    views.calls.clear();
    deliver(msg::disconnectInd(0x101, 0x349A, 4));
    EXPECT_TRUE(views.calls.empty());
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(logText(), kLineA + "\tAnrufer hat aufgelegt\r\n");
    ASSERT_EQ(capi.puts.size(), 3u);
    EXPECT_EQ(capi.puts[2], (B{12, 0, 2, 0, 0x04, 0x83, 4, 0, 0x01, 0x01, 0, 0}));
}

TEST_F(CallMonitorTest, ClearingWithNoCallAtAllIsOnlyAnswered)
{
    deliver(msg::disconnectInd(0x301, 0x3490));
    EXPECT_TRUE(views.calls.empty());
    EXPECT_EQ(counter, 0);
    EXPECT_FALSE(fs::exists(dir / "caller.log"));
    EXPECT_EQ(capi.puts.size(), 1u);
}

TEST_F(CallMonitorTest, CounterWrapsAfterOneHundredThousand)
{
    counter = 100000;
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 0");
    deliver(msg::connectInd(0x102, msg::callParams("345", "301")));
    deliver(msg::disconnectInd(0x102, 0x3490));
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 1");
}

TEST_F(CallMonitorTest, NewCallOnAnOpenPlciReplacesIt)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::connectInd(0x101, msg::callParams("345", "302")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    EXPECT_EQ(logText(), "0302\t345\t12/30/00\t14:05:09\tAnrufer hat aufgelegt\r\n");
    EXPECT_EQ(views.row(2), kLineA); // the replaced call keeps no handling text
}

// After the line was lost, the clearing of a call from before cannot be trusted.
TEST_F(CallMonitorTest, CallsOpenWhenTheLineWasLostAreNotLogged)
{
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    monitor->onLineLost();
    deliver(msg::disconnectInd(0x101, 0x3490));
    EXPECT_FALSE(fs::exists(dir / "caller.log"));
    EXPECT_EQ(counter, 0);
}

// A clearing while the log cannot be written still answers CAPI and loses no line.
TEST_F(CallMonitorTest, UnwritableLogKeepsTheLineAndTheAnswerGoesOut)
{
    std::vector<std::string> notices;
    log->setNotifier([&](const std::string &m) { notices.push_back(m); });
    fs::create_symlink("/dev/full", dir / "caller.log");
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    EXPECT_EQ(capi.puts.size(), 2u);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(log->keptLineCount(), 1u);
    EXPECT_EQ(notices.size(), 1u);

    fs::remove(dir / "caller.log");
    deliver(msg::connectInd(0x102, msg::callParams("345", "302")));
    deliver(msg::disconnectInd(0x102, 0x349A));
    EXPECT_EQ(logText(), kLineA + "\tAnrufer hat aufgelegt\r\n"
                                  "0302\t345\t12/30/00\t14:05:09\tAngenommen am S0-Bus\r\n");
}

TEST_F(CallMonitorTest, RowsLoadedFromTheLogDoNotShiftCallRows)
{
    views.GridInsertTop("old\t1\t2\t3\t4");
    views.ListAppendLine("old\t1\t2\t3\t4");
    deliver(msg::connectInd(0x101, msg::callParams("345", "301")));
    deliver(msg::disconnectInd(0x101, 0x3490));
    EXPECT_EQ(views.row(1), kLineA + "\tAnrufer hat aufgelegt");
    EXPECT_EQ(views.row(2), "old\t1\t2\t3\t4");
    EXPECT_EQ(views.item(1), kLineA + "\tAnrufer hat aufgelegt");
}

} // namespace
