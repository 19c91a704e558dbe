#include "app/CallHandling.h"

#include "calllog/CallLog.h"
#include "settings/LockKeySignaller.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeTray.h"
#include "tests/fakes/RecordingViews.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "ui/CallNotifier.h"
#include "ui/TrayRecord.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

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

class RecordingNotifier final : public CallNotifier
{
public:
    std::vector<std::string> calls;
    void callArrived(std::uint64_t key, const std::string &caller, const std::string &msn,
                     const std::string &time) override
    {
        calls.push_back("arrived:" + std::to_string(key) + ":" + caller + ":" + msn + ":" + time);
    }
    void callArrivedFrom(std::uint64_t key, const std::string &caller, const std::string &msn,
                         const std::string &time, const CallerDetails &d) override
    {
        calls.push_back("from:" + std::to_string(key) + ":" + caller + ":" + msn + ":" + time +
                        ":" + d.name + ":" + d.place + ":" + d.number);
    }
    void callEnded(std::uint64_t key, const std::string &handling) override
    {
        calls.push_back("ended:" + std::to_string(key) + ":" + handling);
    }
};

/// The call handling driven by typed events, as any line raises them.
class CallHandlingTest : public ::testing::Test
{
protected:
    TempDir tmp;
    fs::path dir = tmp.path();
    CallState calls;
    RecordingViews views;
    JournalKeyboard keyboard{views.calls};
    LockKeyFlags flags;
    LockKeySignaller lockKeys{keyboard, flags};
    FakeTray tray;
    TrayRecord trayRecord;
    FakeClock clock;
    std::unique_ptr<CallLog> log;
    int counter = 0;
    std::unique_ptr<CallHandling> handling;

    void SetUp() override
    {
        std::setlocale(LC_TIME, "C");
        log = std::make_unique<CallLog>((dir / "caller.log").string());
        handling = std::make_unique<CallHandling>(
            CallHandling::Parts{calls, views, lockKeys, tray, trayRecord, *log, clock, counter});
    }

    void ring(std::uint32_t id, const std::string &caller, const std::string &msn)
    {
        handling->onIncomingCall(IncomingCall{id, caller, msn});
    }
    void clear(std::uint32_t id, const std::string &text)
    {
        handling->onCallCleared(CallCleared{id, text});
    }
    std::string logText() { return readFile(dir / "caller.log"); }
};

const std::string kLineA = "0301\t345\t12/30/00\t14:05:09";

TEST_F(CallHandlingTest, IncomingCallStepsInOrder)
{
    lockKeys.setMsn(1, "45");
    lockKeys.setMsn(2, "99");
    lockKeys.setMsn(3, "3");
    ring(0x101, "0301", "345");
    EXPECT_EQ(views.calls,
              (std::vector<std::string>{"GridInsertTop:" + kLineA, "ListAppendLine:" + kLineA,
                                        "toggle:0", "toggle:2"}));
    EXPECT_EQ(tray.calls, std::vector<std::string>{"modify:" + kLineA});
}

TEST_F(CallHandlingTest, ClearingCompletesRowItemLogAndCounter)
{
    ring(0x101, "0301", "345");
    views.calls.clear();
    clear(0x101, "Angenommen am S0-Bus");
    const std::string done = kLineA + "\tAngenommen am S0-Bus";
    EXPECT_EQ(views.calls,
              (std::vector<std::string>{"GridSetHandling:1:Angenommen am S0-Bus",
                                        "ListReplaceItem:0:" + done, "ShowCallCount:1"}));
    EXPECT_EQ(views.row(1), done);
    EXPECT_EQ(views.item(0), done);
    EXPECT_EQ(logText(), done + "\r\n");
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 1");
    // The tooltip keeps the incoming call.
    EXPECT_EQ(tray.calls, std::vector<std::string>{"modify:" + kLineA});
}

TEST_F(CallHandlingTest, OverlappingCallsEachGetTheirOwnHandling)
{
    ring(0x101, "0301", "345");
    clock.advanceSecond();
    ring(0x201, "04930", "346");
    const std::string lineB = "04930\t346\t12/30/00\t14:05:10";
    clear(0x101, "Anrufer hat aufgelegt");
    clear(0x201, "Angenommen am S0-Bus");

    const std::string doneA = kLineA + "\tAnrufer hat aufgelegt";
    const std::string doneB = lineB + "\tAngenommen am S0-Bus";
    EXPECT_EQ(views.row(1), doneB);
    EXPECT_EQ(views.row(2), doneA);
    EXPECT_EQ(views.item(0), doneA);
    EXPECT_EQ(views.item(1), doneB);
    EXPECT_EQ(logText(), doneA + "\r\n" + doneB + "\r\n");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(tray.calls.back(), "modify:" + lineB);
}

TEST_F(CallHandlingTest, SecondClearingOfACallIsOnlyAnswered)
{
    ring(0x101, "0301", "345");
    clear(0x101, "Anrufer hat aufgelegt");
    views.calls.clear();
    clear(0x101, "Angenommen am S0-Bus");
    EXPECT_TRUE(views.calls.empty());
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(logText(), kLineA + "\tAnrufer hat aufgelegt\r\n");
}

TEST_F(CallHandlingTest, ClearingWithNoCallAtAllIsOnlyAnswered)
{
    clear(0x301, "Anrufer hat aufgelegt");
    EXPECT_TRUE(views.calls.empty());
    EXPECT_EQ(counter, 0);
    EXPECT_FALSE(fs::exists(dir / "caller.log"));
}

TEST_F(CallHandlingTest, CounterWrapsAfterOneHundredThousand)
{
    counter = 100000;
    ring(0x101, "0301", "345");
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 0");
    ring(0x102, "0301", "345");
    clear(0x102, "Anrufer hat aufgelegt");
    EXPECT_EQ(views.label, "Anrufe seit dem letzten Start: 1");
}

// The line never cleared the replaced call: it is completed as lost, so it is logged.
TEST_F(CallHandlingTest, NewCallOnAnOpenIdentityReplacesIt)
{
    ring(0x101, "0301", "345");
    ring(0x101, "0302", "345");
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(logText(), kLineA + "\tVerbindung verloren\r\n"
                                  "0302\t345\t12/30/00\t14:05:09\tAnrufer hat aufgelegt\r\n");
    EXPECT_EQ(views.row(2), kLineA + "\tVerbindung verloren");
    EXPECT_EQ(counter, 2);
}

// Every call shown is logged: those open at a lost line end as lost, in the order they
// came; a clearing for them afterwards changes nothing.
TEST_F(CallHandlingTest, CallsOpenWhenTheLineIsLostAreLoggedAsLost)
{
    ring(0x201, "04930", "346");
    ring(0x101, "0301", "345");
    handling->onLineLost();
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(logText(), "04930\t346\t12/30/00\t14:05:09\tVerbindung verloren\r\n" + kLineA +
                             "\tVerbindung verloren\r\n");
    EXPECT_EQ(views.row(1), kLineA + "\tVerbindung verloren");
    EXPECT_EQ(counter, 2);
    EXPECT_TRUE(calls.open.empty());
}

TEST_F(CallHandlingTest, CallsBeyondTheOpenLimitAreCompletedAsLostOldestFirst)
{
    for (std::uint32_t id = 1; id <= CallHandling::kMaxOpenCalls + 1; ++id)
        ring(id, std::to_string(id), "345");
    EXPECT_EQ(calls.open.size(), CallHandling::kMaxOpenCalls);
    EXPECT_EQ(logText(), "1\t345\t12/30/00\t14:05:09\tVerbindung verloren\r\n");
}

TEST_F(CallHandlingTest, NotificationFollowsTheCallWithItsOwnKey)
{
    RecordingNotifier notifier;
    handling->setNotifier(&notifier);
    ring(0x101, "0301", "345");
    ring(0x201, "04930", "346");
    clear(0x201, "Angenommen am S0-Bus");
    handling->onLineLost();
    EXPECT_EQ(notifier.calls, (std::vector<std::string>{
                                  "arrived:0:0301:345:14:05:09", "arrived:1:04930:346:14:05:09",
                                  "ended:1:Angenommen am S0-Bus", "ended:0:Verbindung verloren"}));
}

// Names go to the tooltip (above the cut call line) and the notification; the log and the
// rows keep the number; withheld callers stay as they were; new names reach the tooltip.
TEST_F(CallHandlingTest, NamesReachTooltipAndNotificationButNotTheLog)
{
    RecordingNotifier notifier;
    handling->setNotifier(&notifier);
    std::string name = "Anna";
    handling->setCallerDetails([&](std::string_view caller) -> std::optional<CallerDetails> {
        if (caller == "Unbekannt")
            return std::nullopt;
        if (caller == "0891")
            return CallerDetails{"", "München", "089 1"};
        return CallerDetails{name, "", "030 1"};
    });
    ring(0x101, "0301", "345");
    EXPECT_EQ(tray.calls.back(), "modify:Anna\n" + kLineA);
    handling->refreshNames();
    EXPECT_EQ(tray.calls.size(), 1u); // unchanged names are not sent again
    name = "Anna Neu";
    handling->refreshNames();
    EXPECT_EQ(tray.calls.back(), "modify:Anna Neu\n" + kLineA);
    ring(0x102, "0891", "345");
    EXPECT_EQ(tray.calls.back(), "modify:(München)\n0891\t345\t12/30/00\t14:05:09");
    ring(0x103, "Unbekannt", "345");
    EXPECT_EQ(tray.calls.back(), "modify:Unbekannt\t345\t12/30/00\t14:05:09");
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(logText(), kLineA + "\tAnrufer hat aufgelegt\r\n");
    EXPECT_EQ(views.row(3), kLineA + "\tAnrufer hat aufgelegt");
    EXPECT_EQ(notifier.calls, (std::vector<std::string>{"from:0:0301:345:14:05:09:Anna::030 1",
                                                        "from:1:0891:345:14:05:09::München:089 1",
                                                        "arrived:2:Unbekannt:345:14:05:09",
                                                        "ended:0:Anrufer hat aufgelegt"}));
}

// A clearing while the log cannot be written loses no line.
TEST_F(CallHandlingTest, UnwritableLogKeepsTheLineAndTheAnswerGoesOut)
{
    std::vector<std::string> notices;
    log->setNotifier([&](const std::string &m) { notices.push_back(m); });
    fs::create_symlink("/dev/full", dir / "caller.log");
    ring(0x101, "0301", "345");
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(log->keptRecordCount(), 1u);
    EXPECT_EQ(notices.size(), 1u);

    fs::remove(dir / "caller.log");
    ring(0x102, "0302", "345");
    clear(0x102, "Angenommen am S0-Bus");
    EXPECT_EQ(logText(), kLineA + "\tAnrufer hat aufgelegt\r\n"
                                  "0302\t345\t12/30/00\t14:05:09\tAngenommen am S0-Bus\r\n");
}

TEST_F(CallHandlingTest, RowsLoadedFromTheLogDoNotShiftCallRows)
{
    views.GridInsertTop("old\t1\t2\t3\t4");
    views.ListAppendLine("old\t1\t2\t3\t4");
    ring(0x101, "0301", "345");
    clear(0x101, "Anrufer hat aufgelegt");
    EXPECT_EQ(views.row(1), kLineA + "\tAnrufer hat aufgelegt");
    EXPECT_EQ(views.row(2), "old\t1\t2\t3\t4");
    EXPECT_EQ(views.item(1), kLineA + "\tAnrufer hat aufgelegt");
}

} // namespace
