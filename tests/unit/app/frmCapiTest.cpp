#include "app/frmCapi.h"

#include "app/modCapi.h"
#include "capi/CapiUnavailable.h"
#include "tests/fakes/CapiMessages.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "ui/MainWindowViews.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ThrowingCapi final : public Capi
{
public:
    std::uint32_t CAPI_REGISTER(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t &) override
    {
        throw CapiUnavailable("no library");
    }
    std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t, std::span<const std::uint8_t>) override
    {
        throw CapiUnavailable("no library");
    }
    std::uint32_t CAPI_GET_MESSAGE(std::uint32_t, CapiMessage &) override
    {
        throw CapiUnavailable("no library");
    }
    std::uint32_t CAPI_RELEASE(std::uint32_t) override { throw CapiUnavailable("no library"); }
};

class frmCapiTest : public ::testing::Test
{
protected:
    TempDir tmp;
    fs::path dir = tmp.path();
    fs::path oldCwd = fs::current_path();
    FakeCapi capi;
    FakeTray tray;
    FakeKeyboard keyboard;
    FakeClock clock;
    modCapi data;
    std::vector<std::string> fatals;

    void SetUp() override { capi.nextApplId = 3; }
    void TearDown() override { fs::current_path(oldCwd); }
    Platform platform(Capi &c)
    {
        Platform p{
            c, tray, keyboard, clock, dir.string(), "klingelwacht", [this](const std::string &m) {
                fatals.push_back(m);
            }};
        p.capiMode = CapiWorker::Mode::Manual;
        return p;
    }
};

TEST_F(frmCapiTest, StartUpRegistersListensAddsTrayAndWritesStartMarker)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    EXPECT_EQ(capi.registerCalls, 1);
    ASSERT_EQ(capi.puts.size(), 1u);
    EXPECT_EQ(capi.puts[0][4], 0x05); // LISTEN_REQ
    EXPECT_EQ(capi.puts[0][2], 3);
    EXPECT_EQ(tray.calls, std::vector<std::string>{"add:<Kein Anruf>"});
    EXPECT_EQ(readFile(dir / "caller.log"), "#  12-30-2000 - 14:05:09   Start\r\n");
    EXPECT_EQ(w.views().Label1().text(), "Anrufe seit dem letzten Start: 0");
    EXPECT_EQ(w.callCounter(), 0);
    EXPECT_TRUE(w.skippedSteps().empty());
}

TEST_F(frmCapiTest, ShutdownReleasesRemovesTrayAndWritesEndMarkerOnce)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    clock.advanceSecond();
    w.Form_Unload();
    w.Form_Unload();
    EXPECT_EQ(capi.releaseCalls, 1);
    EXPECT_EQ(capi.releasedApplId, 3u);
    EXPECT_EQ(tray.calls.back(), "remove");
    EXPECT_EQ(readFile(dir / "caller.log"), "#  12-30-2000 - 14:05:09   Start\r\n"
                                            "#  12-30-2000 - 14:05:10   Ende\r\n");
    EXPECT_TRUE(fatals.empty());
}

// The library is loaded on the CAPI thread: its absence reaches the first tick.
TEST_F(frmCapiTest, MissingCapiLibraryIsFatalAtTheFirstTick)
{
    ThrowingCapi broken;
    frmCapi w(data, platform(broken));
    w.Form_Load();
    EXPECT_TRUE(w.skippedSteps().empty());
    EXPECT_EQ(tray.calls, std::vector<std::string>{"add:<Kein Anruf>"});
    EXPECT_TRUE(fs::exists(dir / "caller.log"));
    EXPECT_TRUE(fatals.empty());
    w.Timer1_Timer();
    ASSERT_EQ(fatals.size(), 1u);
    EXPECT_NE(fatals[0].find("no library"), std::string::npos);
}

// An unwritable log loses the start marker and nothing else of the start-up.
TEST_F(frmCapiTest, UnwritableLogSkipsOnlyTheStartMarker)
{
    fs::create_directory(dir / "caller.log");
    frmCapi w(data, platform(capi));
    w.Form_Load();
    EXPECT_EQ(w.skippedSteps(), std::vector<std::string>{"StartMarker"});
    EXPECT_EQ(capi.registerCalls, 1);
    EXPECT_EQ(tray.calls, std::vector<std::string>{"add:<Kein Anruf>"});
    EXPECT_EQ(w.views().Label1().text(), "Anrufe seit dem letzten Start: 0");
}

TEST_F(frmCapiTest, MissingProgramDirectorySkipsTheDirectoryChangeOnly)
{
    Platform p = platform(capi);
    p.programDir = (dir / "gone").string();
    fs::current_path(dir);
    frmCapi w(data, std::move(p));
    w.Form_Load();
    ASSERT_FALSE(w.skippedSteps().empty());
    EXPECT_EQ(w.skippedSteps().front(), "ChDir");
    EXPECT_EQ(capi.registerCalls, 1);
    EXPECT_TRUE(fs::exists(dir / "caller.log")); // the marker went to the current directory
}

TEST_F(frmCapiTest, TwoRunsWithoutCallsLogStartEndStartEnd)
{
    for (int run = 0; run < 2; ++run) {
        modCapi fresh;
        frmCapi w(fresh, platform(capi));
        w.Form_Load();
        w.Form_Unload();
    }
    EXPECT_EQ(readFile(dir / "caller.log"), "#  12-30-2000 - 14:05:09   Start\r\n"
                                            "#  12-30-2000 - 14:05:09   Ende\r\n"
                                            "#  12-30-2000 - 14:05:09   Start\r\n"
                                            "#  12-30-2000 - 14:05:09   Ende\r\n");
}

// A call still ringing at the end is not logged; release, tray and marker still happen.
TEST_F(frmCapiTest, ExitWhileACallRingsLeavesItOutOfTheLog)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    capi.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301")));
    w.Timer1_Timer();
    w.mnuBeenden_Click();
    EXPECT_TRUE(w.isUnloaded());
    EXPECT_EQ(capi.releaseCalls, 1);
    EXPECT_EQ(tray.calls.back(), "remove");
    EXPECT_EQ(readFile(dir / "caller.log"), "#  12-30-2000 - 14:05:09   Start\r\n"
                                            "#  12-30-2000 - 14:05:09   Ende\r\n");
}

// With a [Telefonbuch] section the tooltip names the caller above the call, and a changed
// vCard renames it without a restart; the log keeps the number.
TEST_F(frmCapiTest, AddressBookNamesTheTooltipsCallAndFollowsItsChanges)
{
    const auto card = [&](const char *name) {
        std::ofstream(dir / "k.vcf")
            << "BEGIN:VCARD\nFN:" << name << "\nTEL:+49 30 1234567\nEND:VCARD\n";
    };
    card("Anna");
    std::ofstream(dir / "klingelwacht.INI")
        << "[Telefonbuch]\nvCard1=" << (dir / "k.vcf").string() << "\nOrtsvorwahl=030\n";
    const auto waitFor = [](auto cond) {
        for (int i = 0; i < 1000 && !cond(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            ::usleep(10000);
        }
        return cond();
    };
    frmCapi w(data, platform(capi));
    w.Form_Load();
    ASSERT_TRUE(waitFor([&] { return w.callerName("0301234567") == "Anna"; }));
    EXPECT_EQ(w.callerName("0891234567"), "(München)");
    EXPECT_EQ(w.callerName("Unbekannt"), "");
    capi.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301234567")));
    ASSERT_TRUE(waitFor([&] {
        w.Timer1_Timer();
        return tray.calls.size() > 1;
    }));
    EXPECT_EQ(tray.calls.back().rfind("modify:Anna\n0301234567\t345\t", 0), 0u)
        << tray.calls.back();
    card("Berta Neu");
    EXPECT_TRUE(waitFor([&] {
        return tray.calls.back().rfind("modify:Berta Neu\n0301234567\t", 0) == 0;
    })) << tray.calls.back();
    w.mnuBeenden_Click();
}

// Without a library there is nothing to release: the shutdown goes on to its end.
TEST_F(frmCapiTest, ShutdownWithoutALibraryStillEndsTheLog)
{
    ThrowingCapi broken;
    frmCapi w(data, platform(broken));
    w.Form_Load();
    w.Form_Unload();
    EXPECT_TRUE(fatals.empty());
    EXPECT_EQ(tray.calls.back(), "remove");
    EXPECT_EQ(readFile(dir / "caller.log"), "#  12-30-2000 - 14:05:09   Start\r\n"
                                            "#  12-30-2000 - 14:05:09   Ende\r\n");
}

TEST_F(frmCapiTest, TimerTicksEverySecondFromCreation)
{
    frmCapi w(data, platform(capi));
    EXPECT_TRUE(w.Timer1().isActive());
    EXPECT_EQ(w.Timer1().interval(), 1000);
}

TEST_F(frmCapiTest, MinimiseHidesWhileTheTrayIconIsShown)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    w.mnuAnzeigen_Click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
}

TEST_F(frmCapiTest, MinimiseKeepsTheWindowWithoutATray)
{
    tray.available = false;
    frmCapi w(data, platform(capi));
    w.Form_Load();
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
}

// A kept call line gets into the log from the timer once the disk has room again, without
// waiting for another call.
TEST_F(frmCapiTest, TimerTickWritesKeptLinesOnceTheLogCanBeWritten)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    fs::remove(dir / "caller.log");
    fs::create_directory(dir / "caller.log");
    EXPECT_FALSE(w.callLog().appendCallRecord("0301\t345\t30.12.2000\t14:05:09\tx"));
    fs::remove(dir / "caller.log");
    w.callLog().setRetryInterval(std::chrono::milliseconds(0));
    w.Timer1_Timer();
    EXPECT_EQ(readFile(dir / "caller.log"), "0301\t345\t30.12.2000\t14:05:09\tx\r\n");
    EXPECT_EQ(w.callLog().keptRecordCount(), 0u);
}

// An end marker that cannot be written, and the kept line before it, go to stderr whole;
// shutdown is not a fatal error and shows no box.
TEST_F(frmCapiTest, LogThatCannotBeWrittenAtShutdownGoesToStderr)
{
    frmCapi w(data, platform(capi));
    w.Form_Load();
    fs::remove(dir / "caller.log");
    fs::create_directory(dir / "caller.log");
    w.callLog().appendCallRecord("0301\t345\t30.12.2000\t14:05:09\tx");
    ::testing::internal::CaptureStderr();
    w.Form_Unload();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fatals.empty());
    EXPECT_NE(err.find("Diese Zeilen fehlen darin:\n0301\t345\t30.12.2000\t14:05:09\tx\n"
                       "#  12-30-2000 - 14:05:09   Ende\n"),
              std::string::npos)
        << err;
}

} // namespace

namespace {

// A call monitor named in the settings: CAPI is never touched, not even at the ticks, so a
// missing library does not matter.
TEST_F(frmCapiTest, CallMonitorHostReplacesCapi)
{
    std::ofstream(dir / "klingelwacht.INI") << "[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=1\r\n";
    ThrowingCapi broken;
    frmCapi w(data, platform(broken));
    w.Form_Load();
    EXPECT_TRUE(w.skippedSteps().empty());
    w.Timer1_Timer();
    w.Form_Unload();
    EXPECT_TRUE(fatals.empty());
}

// An empty Host leaves the program on CAPI.
TEST_F(frmCapiTest, EmptyCallMonitorHostKeepsCapi)
{
    std::ofstream(dir / "klingelwacht.INI") << "[Anrufmonitor]\r\nHost=\r\nPort=1012\r\n";
    frmCapi w(data, platform(capi));
    w.Form_Load();
    EXPECT_EQ(capi.registerCalls, 1);
}

} // namespace
