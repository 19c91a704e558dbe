// The real program as a native Wayland client: a headless sway with swaybar as the
// StatusNotifierItem host, a private session bus, the real libcapi20 against capisim.
// sway refuses to run as root, so when the test is root, sway, the bus, the program and
// every tool that talks to them run as an unprivileged uid.
#include "tests/support/CapisimSession.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/SlowCalls.h"
#include "ui/AppIdentity.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using capisim::Condition;

constexpr uid_t kUnprivileged = 65534;

bool inPath(const std::string &tool)
{
    for (const char *dir : {"/usr/local/bin", "/usr/bin", "/bin"})
        if (::access((fs::path(dir) / tool).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

/// A window of the sway tree, as `swaymsg -t get_tree` reports it.
struct SwayWindow
{
    QString appId;
    QString title;
    bool visible = false;
    bool focused = false;
    int x = 0, y = 0, width = 0, height = 0;
};

void findWindows(const QJsonObject &node, qint64 pid, std::vector<SwayWindow> &out)
{
    if (node.value("pid").toInteger() == pid) {
        const QJsonObject rect = node.value("rect").toObject();
        out.push_back({node.value("app_id").toString(), node.value("name").toString(),
                       node.value("visible").toBool(), node.value("focused").toBool(),
                       rect.value("x").toInt(), rect.value("y").toInt(),
                       rect.value("width").toInt(), rect.value("height").toInt()});
    }
    for (const char *key : {"nodes", "floating_nodes"})
        for (const QJsonValue &child : node.value(key).toArray())
            findWindows(child.toObject(), pid, out);
}

class WaylandDesktop : public testing::Test
{
protected:
    TempDir dir;
    CapisimSession sim;
    fs::path root, home, xdg, binDir;
    ChildProcess bus;
    ChildProcess sway;
    ChildProcess app;
    std::optional<int> swaybarPid;
    /// Whether sway offers Xwayland (started at the first X client) and DISPLAY with it.
    bool withXwayland = false;

    void SetUp() override
    {
        for (const char *tool : {"sway", "swaymsg", "swaybar", "grim", "busctl", "dbus-daemon"})
            if (!inPath(tool))
                GTEST_SKIP() << tool << " is not installed (tools/packages.sh installs it)";
        const fs::path plugin =
            fs::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) / "platforms" /
            "libqwayland-generic.so";
        if (!fs::exists(plugin))
            GTEST_SKIP() << "Qt's Wayland platform plugin is missing (Debian package qt6-wayland)";

        root = dir.path();
        home = root / "home";
        xdg = root / "xdg";
        binDir = root / "bin";
        for (const fs::path &p : {home / ".config" / "sway", xdg, binDir})
            fs::create_directories(p);
        fs::create_directories(KW_ARTEFACT_DIR);
        // The unprivileged uid must reach into the test's directory.
        ::chmod(root.c_str(), 0755);
        ::chmod(xdg.c_str(), 0700);
        // The program writes caller.log next to itself: a copy keeps it in the temp dir.
        fs::copy_file(KW_KLINGELWACHT_PATH, binDir / "klingelwacht");
        writeSwayConfig();
        writeBusConfig();
        if (::getuid() == 0) {
            for (const fs::path &p : {home, xdg, binDir}) {
                ASSERT_EQ(::chown(p.c_str(), kUnprivileged, kUnprivileged), 0);
                for (const auto &e : fs::recursive_directory_iterator(p))
                    ASSERT_EQ(::lchown(e.path().c_str(), kUnprivileged, kUnprivileged), 0);
            }
        }

        bus.start(as({"dbus-daemon", "--nofork", "--config-file=" + (root / "bus.conf").string()}),
                  env(), "/dev/null", (root / "bus.err").string());
        ASSERT_TRUE(waitUntil([&] { return fs::exists(xdg / "bus"); }, 20s))
            << readFile(root / "bus.err");

        sway.start(as({"sway", "--config", (home / ".config/sway/config").string()}),
                   env({"WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=1",
                        "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"}),
                   "/dev/null", (root / "sway.err").string());
        ASSERT_TRUE(
            waitUntil([&] { return !swaySocket().empty() && !waylandDisplay().empty(); }, 30s))
            << "sway did not start: " << readFile(root / "sway.err");
        // swaybar owns the watcher once it is up as the tray host.
        ASSERT_TRUE(waitUntil(
            [&] {
                const std::string out =
                    busctl({"call", "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s",
                            "org.kde.StatusNotifierWatcher"})
                        .value_or("");
                if (out.rfind("u ", 0) != 0)
                    return false;
                swaybarPid = std::atoi(out.c_str() + 2);
                return true;
            },
            30s))
            << "swaybar registered no StatusNotifierWatcher: " << readFile(root / "sway.err");
    }

    void TearDown() override
    {
        app.stop();
        // sway ends the Xwayland it started; should one be left, it goes by its PID.
        const std::string display = withXwayland ? xDisplay() : std::string();
        const std::vector<int> xwayland =
            display.empty() ? std::vector<int>{} : xwaylandPids(display);
        sway.stop();
        // sway ends its bar; should it not, the bar goes by its PID.
        if (swaybarPid && ::kill(*swaybarPid, 0) == 0) {
            std::this_thread::sleep_for(500ms);
            ::kill(*swaybarPid, SIGKILL);
        }
        for (int pid : xwayland)
            ::kill(pid, SIGKILL);
        bus.stop();
        if (HasFailure()) {
            std::cerr << "klingelwacht's stderr:\n" << readFile(root / "kw.err");
            std::cerr << "sway's stderr (end):\n";
            const std::string s = readFile(root / "sway.err");
            std::cerr << s.substr(s.size() > 4000 ? s.size() - 4000 : 0);
        }
    }

    void writeSwayConfig()
    {
        // A plain bar whose tray shows every item on the one headless output. With
        // Xwayland, sway's DISPLAY is written down for the program.
        std::ofstream config(home / ".config/sway/config");
        config << "output HEADLESS-1 resolution 1024x768\n"
                  "bar {\n"
                  "    position top\n"
                  "    tray_output *\n"
                  "}\n";
        if (withXwayland)
            config << "xwayland enable\n"
                      "exec echo \"$DISPLAY\" > \"$HOME/display\"\n";
        else
            config << "xwayland disable\n";
        // Own numbers no call of the tests has: where the uid may use /dev/uinput, no test
        // toggles the lock keys of the machine's real keyboard.
        std::ofstream(binDir / "klingelwacht.INI") << "[Setup]\nMSN1=nie\nMSN2=nie\nMSN3=nie\n";
    }

    /// The display sway offers to X programs, once it has written it down.
    std::string xDisplay() const
    {
        std::string display = readFile(home / "display");
        if (display.size() < 2 || display.back() != '\n')
            return {};
        display.pop_back();
        return display;
    }

    /// PIDs of the Xwayland serving this display (from /proc). wlroots starts it through
    /// a double fork, so it is no child of sway's.
    std::vector<int> xwaylandPids(const std::string &display) const
    {
        std::vector<int> found;
        std::error_code ec;
        for (const auto &e : fs::directory_iterator("/proc", ec)) {
            const std::string cmdline = readFile(e.path() / "cmdline");
            const std::string program = cmdline.substr(0, cmdline.find('\0'));
            if (fs::path(program).filename() == "Xwayland" &&
                cmdline.find(std::string(1, '\0') + display + '\0') != std::string::npos)
                found.push_back(std::atoi(e.path().filename().c_str()));
        }
        return found;
    }

    void writeBusConfig()
    {
        // No service directories: nothing is started on demand whose PID the test would
        // not hold (a notification daemon, for one).
        std::ofstream(root / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
               "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
            << (xdg / "bus").string()
            << "</listen>\n  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n    <allow send_destination=\"*\" "
               "eavesdrop=\"true\"/>\n    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
               "  </policy>\n</busconfig>\n";
    }

    /// argv, run as the unprivileged uid when the test is root.
    static std::vector<std::string> as(std::vector<std::string> argv)
    {
        if (::getuid() != 0)
            return argv;
        const std::string id = std::to_string(kUnprivileged);
        std::vector<std::string> out{"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups",
                                     "--"};
        out.insert(out.end(), argv.begin(), argv.end());
        return out;
    }

    /// The session's environment: its own home, runtime dir and bus, and no X.
    std::vector<std::string> env(std::vector<std::string> extra = {}) const
    {
        std::vector<std::string> e{"HOME=" + home.string(),
                                   "XDG_RUNTIME_DIR=" + xdg.string(),
                                   "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (xdg / "bus").string(),
                                   "DISPLAY",
                                   "WAYLAND_DISPLAY",
                                   "SWAYSOCK",
                                   "I3SOCK",
                                   "SESSION_MANAGER",
                                   "XDG_SESSION_TYPE",
                                   "XDG_CURRENT_DESKTOP"};
        if (!waylandDisplay().empty())
            e.push_back("WAYLAND_DISPLAY=" + waylandDisplay());
        if (!swaySocket().empty())
            e.push_back("SWAYSOCK=" + swaySocket());
        e.insert(e.end(), extra.begin(), extra.end());
        return e;
    }

    std::string findInXdg(const std::regex &name) const
    {
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(xdg, ec))
            if (std::regex_match(e.path().filename().string(), name))
                return e.path().filename().string();
        return {};
    }
    std::string waylandDisplay() const { return findInXdg(std::regex(R"(wayland-\d+)")); }
    std::string swaySocket() const
    {
        const std::string name = findInXdg(std::regex(R"(sway-ipc\..*\.sock)"));
        return name.empty() ? name : (xdg / name).string();
    }

    /// Runs a tool in the session to its end; its standard output, or nullopt when it
    /// failed (its stderr is then in tool.err).
    std::optional<std::string> runInSession(const std::vector<std::string> &argv)
    {
        const fs::path out = root / "tool.out";
        fs::remove(out);
        fs::remove(root / "tool.err");
        ChildProcess p;
        p.start(as(argv), env(), out.string(), (root / "tool.err").string(), home.string());
        if (p.wait(20s) != 0) {
            p.stop();
            return std::nullopt;
        }
        return readFile(out);
    }

    std::optional<std::string> busctl(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"busctl", "--user"});
        return runInSession(args);
    }

    void startApp(std::vector<std::string> extra = {})
    {
        extra.insert(extra.end(), {"QT_QPA_PLATFORM=wayland", "LC_ALL=de_DE.UTF-8"});
        app.start(as({(binDir / "klingelwacht").string()}), env(extra), (root / "kw.out").string(),
                  (root / "kw.err").string(), binDir.string());
    }

    void startLine(const std::string &scenario)
    {
        sim.startFor(home.string(), scenario);
        if (::getuid() == 0) {
            ASSERT_EQ(::chown((home / ".capi20rc").c_str(), kUnprivileged, kUnprivileged), 0);
        }
    }

    /// The bus name of the program's item, once the watcher lists one that the program owns.
    std::string registeredItem()
    {
        const std::string out =
            busctl({"get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                    "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"})
                .value_or("");
        static const std::regex item(R"re("([^"/]+)(/[^"]*)")re");
        for (std::sregex_iterator it(out.begin(), out.end(), item), end; it != end; ++it) {
            const std::string service = (*it)[1];
            const std::string pid =
                busctl({"call", "org.freedesktop.DBus", "/org/freedesktop/DBus",
                        "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s", service})
                    .value_or("");
            if (pid == "u " + std::to_string(app.pid()) + "\n")
                return service;
        }
        return {};
    }

    std::vector<SwayWindow> appWindows()
    {
        const std::string tree = runInSession({"swaymsg", "-r", "-t", "get_tree"}).value_or("");
        std::vector<SwayWindow> found;
        findWindows(QJsonDocument::fromJson(QByteArray::fromStdString(tree)).object(), app.pid(),
                    found);
        return found;
    }

    std::optional<SwayWindow> mainWindow()
    {
        for (const SwayWindow &w : appWindows())
            if (w.title == "Klingelwacht" && w.visible)
                return w;
        return std::nullopt;
    }

    /// grim's picture of the whole output, kept as a test artefact.
    QImage screenshot(const std::string &name)
    {
        const fs::path shot = home / (name + ".png");
        EXPECT_TRUE(runInSession({"grim", shot.string()})) << readFile(root / "tool.err");
        const fs::path artefact = fs::path(KW_ARTEFACT_DIR) / (name + ".png");
        std::error_code ec;
        fs::copy_file(shot, artefact, fs::copy_options::overwrite_existing, ec);
        QImage image(QString::fromStdString(artefact.string()));
        EXPECT_FALSE(image.isNull()) << artefact;
        return image;
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        const std::string text = readFile(binDir / "caller.log");
        std::size_t at = 0;
        for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }

    /// The program on a quiet line, in swaybar's tray, with its window brought up by the
    /// tray's call of method on its item at (x, 10).
    void showWindowThroughItem(const std::string &method, const std::string &x)
    {
        startLine("wait-for LISTEN_REQ timeout=60\n");
        startApp();
        std::string item;
        ASSERT_TRUE(waitUntil([&] { return !(item = registeredItem()).empty(); }, 30s));
        ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 60s));
        ASSERT_TRUE(busctl({"call", item, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                            method, "ii", x, "10"}))
            << readFile(root / "tool.err");
        ASSERT_TRUE(waitUntil([&] { return mainWindow().has_value(); }, 20s));
    }

    /// caller.log holds the start and the end marker, nothing between.
    void expectStartAndEndOnly()
    {
        const auto lines = logLines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(lines.back().ends_with("   Ende")) << lines.back();
    }
};

/// Whether the area holds pixels of the icon's red (the bar around it is black or grey).
bool hasRed(const QImage &image, int x0, int y0, int width, int height)
{
    for (int y = y0; y < y0 + height && y < image.height(); ++y)
        for (int x = x0; x < x0 + width && x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90)
                return true;
        }
    return false;
}

// A call through the real line under sway: the icon in swaybar, the window on Activate,
// the call in the log, a screenshot, and SIGTERM's orderly end.
TEST_F(WaylandDesktop, NativeClientWithTrayIconWindowAndCall)
{
    startLine("wait-for LISTEN_REQ timeout=60\n"
              "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x101 timeout=60\n"
              "disconnect plci=0x101 reason=0x349A\n"
              "wait-for DISCONNECT_RESP plci=0x101 timeout=60\n"
              "connect plci=0x102 called=346 calling= ton=0 pi=0x20\n"
              "wait-for ALERT_REQ plci=0x102 timeout=60\n"
              "disconnect plci=0x102 reason=0x3490\n"
              "wait-for DISCONNECT_RESP plci=0x102 timeout=60\n");
    startApp();

    std::string item;
    ASSERT_TRUE(waitUntil([&] { return !(item = registeredItem()).empty(); }, 30s))
        << "no item of the program at the watcher";
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x102"}}}, 0, 90s));
    ASSERT_TRUE(waitUntil([&] { return logLines().size() >= 3; }, 10s));
    const std::string date = R"(\t\d\d\.\d\d\.\d{4}\t\d\d:\d\d:\d\d\t)";
    EXPECT_TRUE(std::regex_match(logLines()[1],
                                 std::regex("03012345\t345" + date + "Angenommen am S0-Bus")))
        << logLines()[1];
    EXPECT_TRUE(std::regex_match(logLines()[2],
                                 std::regex("Unbekannt\t346" + date + "Anrufer hat aufgelegt")))
        << logLines()[2];

    // Started as its icon only; the host's Activate (a left click in swaybar) shows it.
    EXPECT_FALSE(mainWindow().has_value());
    EXPECT_TRUE(busctl({"call", item, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                        "Activate", "ii", "10", "10"}))
        << readFile(root / "tool.err");
    std::optional<SwayWindow> window;
    ASSERT_TRUE(waitUntil([&] { return (window = mainWindow()).has_value(); }, 20s));
    EXPECT_GE(window->width, 200);
    EXPECT_GE(window->height, 100);
    // Its app id names the desktop entry; a build that sets none shows the binary's name.
    EXPECT_TRUE(window->appId == QString(kAppId) || window->appId == "klingelwacht")
        << window->appId.toStdString();

    std::this_thread::sleep_for(700ms);
    const QImage shot = screenshot("wayland-sway");
    ASSERT_FALSE(shot.isNull());
    // The red telephone in swaybar's tray at the right end of the top bar.
    EXPECT_TRUE(hasRed(shot, shot.width() - 60, 0, 60, 24));
    // The window's own pixels differ from sway's empty grey background.
    const QColor inside =
        shot.pixelColor(window->x + window->width / 2, window->y + window->height / 2);
    EXPECT_NE(inside, shot.pixelColor(5, shot.height() - 5));

    // No X display here: the lock keys go to uinput, and only its one line (if the device
    // cannot be made) speaks of them; nothing asks for X.
    const std::string err = readFile(root / "kw.err");
    EXPECT_EQ(count(err, "X-Anzeige"), 0u) << err;
    EXPECT_LE(count(err, "/dev/uinput"), 1u) << err;

    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(20s), 0);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines.back().ends_with("   Ende")) << lines.back();
    EXPECT_TRUE(sim.waitForEntry(Condition{"RELEASE", {}}, 0, 5s).has_value());
}

// sway has no minimised state and no buttons in its title bars: the user puts the window
// away by closing it (mod+Shift+q), and that ends the program in order, as on X.
TEST_F(WaylandDesktop, ClosingTheWindowInSwayEndsTheProgram)
{
    ASSERT_NO_FATAL_FAILURE(showWindowThroughItem("Activate", "10"));

    EXPECT_TRUE(runInSession({"swaymsg", "[pid=" + std::to_string(app.pid()) + "] kill"}))
        << readFile(root / "tool.err");
    ASSERT_EQ(app.wait(20s), 0);
    expectStartAndEndOnly();
}

// Wayland lets no program raise its own window. One moved out of sight (sway's
// scratchpad, its stand-in for minimising, or another workspace) still comes back, in
// front and focused, when the tray icon is clicked.
TEST_F(WaylandDesktop, TrayClickBringsBackAWindowOutOfSight)
{
    startLine("wait-for LISTEN_REQ timeout=60\n");
    startApp();
    std::string item;
    ASSERT_TRUE(waitUntil([&] { return !(item = registeredItem()).empty(); }, 30s));
    const auto activate = [&] {
        return busctl({"call", item, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                       "Activate", "ii", "10", "10"})
            .has_value();
    };
    const auto inFront = [&] {
        const auto w = mainWindow();
        return w && w->focused;
    };
    ASSERT_TRUE(activate()) << readFile(root / "tool.err");
    ASSERT_TRUE(waitUntil(inFront, 20s));

    const std::string self = "[pid=" + std::to_string(app.pid()) + "] ";
    for (const std::string &away : {self + "move scratchpad", std::string("workspace 2")}) {
        ASSERT_TRUE(runInSession({"swaymsg", away})) << away;
        ASSERT_TRUE(waitUntil([&] { return !mainWindow().has_value(); }, 10s)) << away;
        ASSERT_TRUE(activate());
        EXPECT_TRUE(waitUntil(inFront, 10s)) << away;
    }
    // Clicked while in front already, it stays where it is.
    ASSERT_TRUE(activate());
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(inFront());
    EXPECT_EQ(appWindows().size(), 1u);
}

// swaybar asks for the menu by ContextMenu. Wayland opens menus only over the program's
// own window in answer to an input event there, so the call list comes up instead, and no
// window of a menu's own appears (which sway would tile full-screen).
TEST_F(WaylandDesktop, ContextMenuShowsTheCallListAndNoMenuWindow)
{
    ASSERT_NO_FATAL_FAILURE(showWindowThroughItem("ContextMenu", "1000"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(appWindows().size(), 1u);

    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(20s), 0);
    expectStartAndEndOnly();
}

// Qt's Wayland plugin ends the process with _exit() when the compositor goes, and no exit
// handler runs. The program notices the hang-up first: both cleared calls and the end
// marker are in the log, on a disk that takes 2 s per sync too.
TEST_F(WaylandDesktop, CompositorLossOnASlowDiskKeepsTheCallsAndTheEndMarker)
{
    startLine("wait-for LISTEN_REQ timeout=60\n"
              "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x101 timeout=60\n"
              "disconnect plci=0x101 reason=0x349A\n"
              "wait-for DISCONNECT_RESP plci=0x101 timeout=60\n"
              "connect plci=0x102 called=346 calling=3099 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x102 timeout=60\n"
              "disconnect plci=0x102 reason=0x3490\n"
              "wait-for DISCONNECT_RESP plci=0x102 timeout=60\n");
    startApp(SlowCalls{2000, "", 0}.env(root.string()));
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x102"}}}, 0, 90s));
    std::this_thread::sleep_for(300ms);

    const auto lostAt = std::chrono::steady_clock::now();
    sway.stop();
    ASSERT_NE(app.wait(20s), -2);
    EXPECT_LT(std::chrono::steady_clock::now() - lostAt, 5s);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 4u) << readFile(binDir / "caller.log");
    EXPECT_TRUE(lines[1].starts_with("03012345\t345\t")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("03099\t346\t")) << lines[2];
    EXPECT_TRUE(lines[3].ends_with("   Ende")) << lines[3];
}

class WaylandWithXwayland : public WaylandDesktop
{
protected:
    WaylandWithXwayland() { withXwayland = true; }
};

// A Wayland session with Xwayland and DISPLAY set, as GNOME, KDE and sway give one: the
// program stays a Wayland program, starts no Xwayland by asking it about XTest (whose keys
// would not reach the keyboard there), and takes uinput for the lock keys.
TEST_F(WaylandWithXwayland, DisplaySetStartsNoXwaylandAndTakesUinput)
{
    if (!inPath("Xwayland"))
        GTEST_SKIP() << "Xwayland is not installed (Debian package xwayland)";
    std::string display;
    ASSERT_TRUE(waitUntil([&] { return !(display = xDisplay()).empty(); }, 20s))
        << "sway offered no DISPLAY: " << readFile(root / "sway.err");
    startLine("wait-for LISTEN_REQ timeout=60\n");
    startApp({"DISPLAY=" + display});
    std::string item;
    ASSERT_TRUE(waitUntil([&] { return !(item = registeredItem()).empty(); }, 30s));
    ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 60s));
    ASSERT_TRUE(busctl({"call", item, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                        "Activate", "ii", "10", "10"}));
    std::optional<SwayWindow> window;
    ASSERT_TRUE(waitUntil([&] { return (window = mainWindow()).has_value(); }, 20s));
    EXPECT_TRUE(xwaylandPids(display).empty());

    const std::string err = readFile(root / "kw.err");
    EXPECT_EQ(count(err, "X-Anzeige"), 0u) << err;
    // Where the kernel has no uinput, the uinput keyboard's one line proves the choice.
    if (!fs::exists("/dev/uinput")) {
        EXPECT_EQ(count(err, "/dev/uinput fehlt"), 1u) << err;
    }
}

} // namespace
