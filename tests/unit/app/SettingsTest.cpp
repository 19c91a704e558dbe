#include "app/SettingsController.h"

#include "app/Autostart.h"
#include "app/FirstStart.h"
#include "app/frmCapi.h"
#include "app/modCapi.h"
#include "callmonitor/CallMonitorSettings.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeLine.h"
#include "tests/fakes/FakeNotifier.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string kIni = "; Einstellungen\r\n"
                         "[Setup]\r\n"
                         "MSN1 = 4711\r\n"
                         "MSN2=4712\r\n"
                         "\r\n"
                         "; Router\r\n"
                         "[Anrufmonitor]\r\n"
                         "Host=127.0.0.1\r\n"
                         "Port=1";

void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class SettingsTest : public ::testing::Test
{
protected:
    TempDir tmp;
    fs::path dir = tmp.path();
    fs::path ini = dir / "klingelwacht.INI";
    fs::path autostart = dir / "config" / "autostart" / "de.klingelwacht.klingelwacht.desktop";
    fs::path oldCwd = fs::current_path();
    FakeCapi capi;
    FakeTray tray;
    FakeKeyboard keyboard;
    FakeClock clock;
    modCapi data;
    std::vector<std::string> lineLog;
    std::vector<FakeLine *> lines;
    std::vector<std::string> passwords;
    int reloads = 0;
    std::vector<LineProbe::Target> candidates;
    std::unique_ptr<frmCapi> window;
    std::unique_ptr<SettingsController> settings;

    void TearDown() override
    {
        settings.reset();
        window.reset();
        fs::current_path(oldCwd);
    }

    void start(const std::string &iniBytes)
    {
        writeFile(ini, iniBytes);
        Platform p{
            capi, tray, keyboard, clock, dir.string(), "klingelwacht", [](const std::string &) {}};
        p.capiMode = CapiWorker::Mode::Manual;
        p.makeLine = [this](const CallMonitorSettings &m) {
            auto line = std::make_unique<FakeLine>(
                m.isSet() ? m.host + ":" + std::to_string(m.port) : "CAPI", lineLog);
            lines.push_back(line.get());
            return line;
        };
        window = std::make_unique<frmCapi>(data, std::move(p));
        window->Form_Load();
        settings = std::make_unique<SettingsController>(
            *window,
            SettingsController::Options{"klingelwacht.INI", dir.string(), autostart.string(),
                                        nullptr, candidates},
            SettingsController::Connections{
                [this](const std::string &user, const std::string &password) {
                    passwords.push_back(user + "/" + password);
                    return std::string();
                },
                [](auto done) { done(12, ""); }, [this] { ++reloads; }});
    }

    SettingsDialog &openDialog()
    {
        settings->open();
        SettingsDialog *d = settings->dialog();
        QApplication::setActiveWindow(d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(d));
        return *d;
    }

    /// Tabs to the control with this name, as a user without a mouse would.
    QWidget *tabTo(const char *name)
    {
        for (int i = 0; i < 60; ++i) {
            QWidget *w = QApplication::focusWidget();
            if (w && w->objectName() == name)
                return w;
            QTest::keyClick(w ? w : settings->dialog(), Qt::Key_Tab);
        }
        ADD_FAILURE() << name << " is not reachable by Tab";
        return settings->dialog();
    }

    void retype(const char *name, const QString &text)
    {
        QWidget *w = tabTo(name);
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, text);
    }

    void pressOk() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }

    bool dialogOpen() const { return settings->dialog() && settings->dialog()->isVisible(); }

    std::string message() const
    {
        return settings->dialog()->findChild<QLabel *>("message")->text().toStdString();
    }
};

// Every control can be reached with Tab and tells a screen reader what it is.
TEST_F(SettingsTest, EveryControlIsReachableByTabAndNamed)
{
    start(kIni);
    openDialog();
    std::set<std::string> reached;
    for (int i = 0; i < 60; ++i) {
        QWidget *w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        reached.insert(w->objectName().toStdString());
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        QTest::keyClick(w, Qt::Key_Tab);
    }
    for (const char *name : {"lineCapi", "monitorHost",  "monitorPort",    "checkLine",
                             "vCards",   "addVCardFile", "addVCardFolder", "removeVCard",
                             "router",   "routerUser",   "routerPassword", "tr064Port",
                             "areaCode", "countryCode",  "fetchNow",       "msn1",
                             "msn2",     "msn3",         "notifications",  "autostart",
                             "ok",       "cancel"})
        EXPECT_TRUE(reached.count(name)) << name;
}

// OK with nothing changed leaves the file byte for byte (not even rewritten) and the line
// running; Cancel after a change does the same.
TEST_F(SettingsTest, UnchangedOkAndCancelLeaveEverythingAlone)
{
    start(kIni);
    struct stat before = {};
    ::stat(ini.c_str(), &before);
    openDialog();
    pressOk();
    EXPECT_FALSE(dialogOpen());
    openDialog();
    retype("msn1", "1");
    QTest::keyClick(tabTo("cancel"), Qt::Key_Space);
    struct stat after = {};
    ::stat(ini.c_str(), &after);
    EXPECT_EQ(readFile(ini), kIni);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(lineLog, std::vector<std::string>{"start 127.0.0.1:1"});
    EXPECT_FALSE(fs::exists(autostart));
}

// A changed MSN lands in its entry and nowhere else, and drives its key from the next call.
TEST_F(SettingsTest, ChangedValueIsWrittenInPlaceAndTakesEffect)
{
    start(kIni);
    openDialog();
    retype("msn2", "999");
    retype("areaCode", "030");
    pressOk();
    EXPECT_FALSE(dialogOpen());
    EXPECT_EQ(readFile(ini), "; Einstellungen\r\n[Setup]\r\nMSN1 = 4711\r\nMSN2=999\r\n\r\n"
                             "; Router\r\n[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=1\r\n\r\n"
                             "[Telefonbuch]\r\nOrtsvorwahl=030\r\n");
    EXPECT_EQ(reloads, 1);
    // MSN3 is empty and so matches any called number.
    lines.back()->events->onIncomingCall({7, "0301234", "1999"});
    EXPECT_EQ(keyboard.toggled, (std::vector<LockKey>{LockKey::CapsLock, LockKey::ScrollLock}));
}

// A file that cannot be replaced: the dialog says so and stays open, and neither the file,
// the line nor the autostart entry changes.
TEST_F(SettingsTest, UnwritableFileGivesMessageAndChangesNothing)
{
    start(kIni);
    fs::remove(ini);
    // No temporary file can be made beside a file in /proc, not even by root.
    fs::create_symlink("/proc/self/comm", ini);
    const std::string comm = readFile("/proc/self/comm");
    openDialog();
    retype("msn1", "2");
    QTest::keyClick(tabTo("autostart"), Qt::Key_Space);
    pressOk();
    ASSERT_TRUE(dialogOpen());
    EXPECT_NE(message().find("lassen sich nicht speichern"), std::string::npos) << message();
    EXPECT_TRUE(
        settings->dialog()->findChild<QLabel *>("message")->isVisibleTo(settings->dialog()));
    EXPECT_EQ(readFile("/proc/self/comm"), comm);
    EXPECT_EQ(lineLog, std::vector<std::string>{"start 127.0.0.1:1"});
    EXPECT_FALSE(fs::exists(autostart));
}

// Notifications switched on during the run reach the next call.
TEST_F(SettingsTest, NotificationsSwitchedOnReachTheNextCall)
{
    start("[Setup]\nBenachrichtigung=0\n");
    FakeNotifier notifier;
    window->setNotifierFactory([&notifier] {
        return std::pair<CallNotifier *, LineNotifier *>{&notifier, nullptr};
    });
    openDialog();
    QTest::keyClick(tabTo("notifications"), Qt::Key_Space);
    pressOk();
    EXPECT_EQ(readFile(ini), "[Setup]\nBenachrichtigung=1\n");
    lines.back()->events->onIncomingCall({1, "0301234", "4711"});
    EXPECT_EQ(notifier.calls.size(), 1u);
}

// The password goes to the Secret Service callback; the file gets the user only.
TEST_F(SettingsTest, PasswordGoesToTheCallbackNotTheFile)
{
    start(kIni);
    openDialog();
    retype("routerUser", "anna");
    retype("routerPassword", "geheim99");
    pressOk();
    EXPECT_EQ(passwords, std::vector<std::string>{"anna/geheim99"});
    const std::string text = readFile(ini);
    EXPECT_EQ(text.find("geheim99"), std::string::npos);
    EXPECT_NE(text.find("[Telefonbuch]\r\nBenutzer=anna\r\n"), std::string::npos) << text;
}

// Off writes the user's override with Hidden=true; on again removes it.
TEST_F(SettingsTest, AutostartOverrideWrittenAndRemoved)
{
    start(kIni);
    openDialog();
    QTest::keyClick(tabTo("autostart"), Qt::Key_Space);
    pressOk();
    EXPECT_NE(readFile(autostart).find("\nHidden=true\n"), std::string::npos);
    openDialog();
    EXPECT_FALSE(settings->dialog()->findChild<QCheckBox *>("autostart")->isChecked());
    QTest::keyClick(tabTo("autostart"), Qt::Key_Space);
    pressOk();
    EXPECT_FALSE(fs::exists(autostart));
    EXPECT_EQ(readFile(ini), kIni);

    ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(Autostart::overridePath("a.b"), "/x/conf/autostart/a.b.desktop");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Autostart::overridePath("a.b"),
              std::string(std::getenv("HOME")) + "/.config/autostart/a.b.desktop");
}

// A new line replaces the running one: the old one stops, its open calls reach the log as
// lost, and the new one starts with what was entered.
TEST_F(SettingsTest, ChangedLineStopsTheOldOneAndStartsTheNew)
{
    start(kIni);
    lines.back()->events->onIncomingCall({1, "0301234", "4711"});
    openDialog();
    QTest::keyClick(tabTo("lineCapi"), Qt::Key_Space);
    pressOk();
    EXPECT_EQ(lineLog,
              (std::vector<std::string>{"start 127.0.0.1:1", "stop 127.0.0.1:1", "start CAPI"}));
    EXPECT_NE(readFile(dir / "caller.log").find("Verbindung verloren"), std::string::npos);
    EXPECT_EQ(data.calls.open.size(), 0u);
    EXPECT_NE(readFile(ini).find("Host=\r\nPort=1"), std::string::npos) << readFile(ini);
}

// "Verbindung prüfen" tells a listening call monitor from a refused connection, and leaves
// the running line alone.
TEST_F(SettingsTest, CheckLineTellsAnswerFromRefusal)
{
    QTcpServer listening;
    ASSERT_TRUE(listening.listen(QHostAddress::LocalHost));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 closedPort = closed.serverPort();
    closed.close();
    start(kIni);
    openDialog();
    auto *result = settings->dialog()->findChild<QLabel *>("checkResult");
    retype("monitorPort", QString::number(listening.serverPort()));
    QTest::keyClick(tabTo("checkLine"), Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return result->text() == "Anrufmonitor antwortet"; }, 6000))
        << result->text().toStdString();
    retype("monitorPort", QString::number(closedPort));
    QTest::keyClick(tabTo("checkLine"), Qt::Key_Space);
    const QString refused = QStringLiteral("Verbindung abgelehnt: 127.0.0.1:%1 — ist der "
                                           "Anrufmonitor mit #96*5* eingeschaltet?")
                                .arg(closedPort);
    EXPECT_TRUE(QTest::qWaitFor([&] { return result->text() == refused; }, 6000))
        << result->text().toStdString();
    EXPECT_EQ(lineLog, std::vector<std::string>{"start 127.0.0.1:1"});
}

// The first start offers the places that answered; one choice writes it and starts it.
TEST_F(SettingsTest, FirstStartSearchOffersAndStartsTheRouter)
{
    QTcpServer router;
    ASSERT_TRUE(router.listen(QHostAddress::LocalHost));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    candidates = {{"127.0.0.1", closed.serverPort()}, {"127.0.0.1", router.serverPort()}};
    closed.close();
    start("[Setup]\nMSN1=1\n");
    settings->showFirstStart();
    EXPECT_TRUE(window->isNoLineConfigured());
    FirstStartPanel *panel = settings->firstStartPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    QTest::keyClick(panel->findChild<QPushButton *>("searchRouter"), Qt::Key_Space);
    QPushButton *use = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (use = panel->findChild<QPushButton *>("useRouter0")); }, 5000));
    EXPECT_FALSE(panel->findChild<QPushButton *>("useRouter1"));
    QTest::keyClick(use, Qt::Key_Space);
    const std::string where = "127.0.0.1:" + std::to_string(router.serverPort());
    EXPECT_EQ(readFile(ini), "[Setup]\nMSN1=1\n\n[Anrufmonitor]\nHost=127.0.0.1\nPort=" +
                                 std::to_string(router.serverPort()) + "\n");
    EXPECT_EQ(lineLog, (std::vector<std::string>{"start CAPI", "stop CAPI", "start " + where}));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(window->isNoLineConfigured());
}

TEST(FirstStart, AnyOfTheFourWaysCountsAsConfigured)
{
    TempDir tmp;
    const LinePaths paths{tmp.path() + "/rc", tmp.path() + "/conf", tmp.path() + "/dev"};
    EXPECT_FALSE(isAnyLineConfigured(paths, ""));
    EXPECT_TRUE(isAnyLineConfigured(paths, "fritz.box"));
    writeFile(paths.capi20conf, "# REMOTE fritzbox h 5031\nTRACELEVEL 0\n");
    EXPECT_FALSE(isAnyLineConfigured(paths, ""));
    writeFile(paths.capi20conf, "  REMOTE fritzbox h 5031\n");
    EXPECT_TRUE(isAnyLineConfigured(paths, ""));
    EXPECT_TRUE(isAnyLineConfigured({paths.capi20conf, "", ""}, "")) << "a ~/.capi20rc";
    EXPECT_TRUE(isAnyLineConfigured({"", "", paths.capi20conf}, "")) << "a /dev/capi20";
}

TEST(FirstStart, DefaultGatewayFromTheRouteTable)
{
    TempDir tmp;
    const std::string table = tmp.path() + "/route";
    writeFile(table, "Iface\tDestination\tGateway \tFlags\n"
                     "eth0\t0010A8C0\t00000000\t0001\n"
                     "eth0\t00000000\t01B2A8C0\t0003\n");
    EXPECT_EQ(LineProbe::defaultGateway(table), "192.168.178.1");
    EXPECT_EQ(LineProbe::routerCandidates(table),
              (std::vector<LineProbe::Target>{{"fritz.box", 1012}, {"192.168.178.1", 1012}}));
    EXPECT_EQ(LineProbe::defaultGateway(tmp.path() + "/none"), "");
}

} // namespace
