// The real klingelwacht against what a careless or hostile world hands it: markup from the
// line in the tooltip, a log that is a link, a record of 20 MB, a log of 1.5 GiB, an X
// server that goes away, and an installed copy in a directory its users cannot write.
#include "tests/desktop/faults/Faults.h"

namespace {

using namespace faults;

/// A line of /proc/<pid>/status in KiB ("VmHWM", "VmRSS"); 0 when it cannot be read.
std::size_t statusKiB(int pid, const std::string &key)
{
    std::istringstream in(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(key + ":"))
            return std::stoul(line.substr(key.size() + 1));
    return 0;
}

/// The bytes of the file from offset on (the log before them is large).
std::string readFrom(const fs::path &p, std::uint64_t offset)
{
    std::ifstream in(p, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

/// A calling party number structure (national number, presentation allowed) of any bytes.
std::string callingRaw(const std::string &number)
{
    return hex(std::string(1, static_cast<char>(number.size() + 2)) + "\x21\x80" + number);
}

class Hardening : public Faults
{
protected:
    /// The program in the tray takes one call the caller hangs up; returns once the peer
    /// has its DISCONNECT_RESP and stderr has told.
    void takeOneCallUntilTold(const std::string &told)
    {
        startLine("wait-for LISTEN_REQ timeout=30\n"
                  "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
                  "wait-for ALERT_REQ plci=0x101 timeout=30\n"
                  "disconnect plci=0x101 reason=0x3490\n"
                  "wait-for DISCONNECT_RESP plci=0x101 timeout=30\n");
        startDocked();
        ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 60s)) << err();
        ASSERT_TRUE(waitUntil([&] { return err().find(told) != std::string::npos; })) << err();
    }

    /// The width of the icon's tooltip: the pointer rests on the icon until it shows,
    /// then leaves it again.
    int tooltipWidth()
    {
        const Rect icon = x->geometry(iconWindow());
        int width = 0;
        // Qt shows a tooltip once the pointer has moved inside the icon and rested there.
        for (int attempt = 0; attempt < 5 && width == 0; ++attempt) {
            xdotool({"mousemove", std::to_string(icon.centreX() - 3 + attempt),
                     std::to_string(icon.centreY() - 3)});
            xdotool({"mousemove", std::to_string(icon.centreX()), std::to_string(icon.centreY())});
            waitUntil(
                [&] {
                    const auto tips = tooltips();
                    if (tips.empty())
                        return false;
                    width = x->geometry(tips.front()).width;
                    return true;
                },
                3s);
        }
        EXPECT_GT(width, 0) << "no tooltip";
        xdotool({"mousemove", "0", "700"});
        EXPECT_TRUE(waitUntil([&] { return tooltips().empty(); }));
        return width;
    }
};

// A caller "number" of markup is shown as its characters: "<b>xxxxxxxx</b>" takes the
// room of 15 characters, not of a bold "xxxxxxxx", and "<img src=/dev/zero>" reads no
// file: the program lives on with its memory as it was.
TEST_F(Hardening, TooltipShowsMarkupFromTheLineAsCharacters)
{
    const std::string plain = "xxxxxxxx";
    const std::string bold = "<b>xxxxxxxx</b>";
    const std::string image = "<img src=/dev/zero>";
    std::string scenario = "wait-for LISTEN_REQ timeout=30\n";
    int plci = 0x101;
    for (const std::string &caller : {plain, bold, image}) {
        const std::string p = std::to_string(plci++);
        scenario += "connect plci=" + p + " called=345 calling-raw=" + callingRaw(caller) +
                    "\nwait-for ALERT_REQ plci=" + p + " timeout=30\nwait-for OPEN timeout=60\n" +
                    "disconnect plci=" + p + " reason=0x3490\nwait-for DISCONNECT_RESP plci=" + p +
                    " timeout=30\n";
    }
    startLine(scenario);
    startDocked();

    std::vector<int> widths;
    for (int call = 0; call < 3; ++call) {
        ASSERT_TRUE(sim.waitForEntry(Condition{"ALERT_REQ", {}}, call, 60s)) << err();
        settle();
        const std::size_t rssBefore = statusKiB(app.pid(), "VmRSS");
        widths.push_back(tooltipWidth());
        settle();
        ASSERT_TRUE(app.isRunning()) << err();
        EXPECT_LT(statusKiB(app.pid(), "VmRSS"), rssBefore + 20 * 1024) << "call " << call;
        poke();
    }
    // Literal, the 15 characters run past the first tab stop, which a bold "xxxxxxxx"
    // does not reach, and push every field after them one stop further.
    EXPECT_GT(widths[1], widths[0] + 40) << widths[0] << " " << widths[1];
    EXPECT_GT(widths[2], widths[0] + 40) << widths[0] << " " << widths[2];
    app.signal(SIGTERM);
    EXPECT_EQ(app.wait(15s), 0) << err();
}

// A StatusNotifierItem host gets the tooltip as the item's plain title: the characters
// of the line, not escaped for a markup reader (the title is plain text by that protocol).
class HardeningSni : public Faults
{
protected:
    ChildProcess bus, watcher, host;
    std::string busAddress;

    std::string busctl(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv{"busctl", "--user"};
        argv.insert(argv.end(), args.begin(), args.end());
        return output(argv);
    }
    std::string watcherProperty(const std::string &name)
    {
        return busctl({"get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                       "org.kde.StatusNotifierWatcher", name});
    }

    void TearDown() override
    {
        Faults::TearDown();
        host.stop();
        watcher.stop();
        bus.stop();
    }

    void startSniTray()
    {
        const std::string socket = dir.path() + "/bus";
        busAddress = "unix:path=" + socket;
        bus.start({"dbus-daemon", "--session", "--nofork", "--address=" + busAddress}, {},
                  "/dev/null", dir.path() + "/bus.err");
        ASSERT_TRUE(waitUntil([&] { return fs::exists(socket); })) << "no session bus";
        extraEnv.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress);
        watcher.start({"status-notifier-watcher"}, env(), "/dev/null", dir.path() + "/watcher.err");
        ASSERT_TRUE(waitUntil([&] {
            ChildProcess p;
            p.start({"busctl", "--user", "status", "org.kde.StatusNotifierWatcher"}, env());
            return p.wait(10s) == 0;
        })) << "no watcher";
        host.start({"gtk-sni-tray-standalone", "--bottom", "-s", "32"}, env(), "/dev/null",
                   dir.path() + "/host.err");
        ASSERT_TRUE(waitUntil([&] {
            return watcherProperty("IsStatusNotifierHostRegistered").find("true") !=
                   std::string::npos;
        })) << "no host";
    }
};

TEST_F(HardeningSni, TooltipTitleIsTheLinesCharacters)
{
    const std::string bold = "<b>xxxxxxxx</b>";
    startLine("wait-for LISTEN_REQ timeout=30\n"
              "connect plci=0x101 called=345 calling-raw=" +
              callingRaw(bold) +
              "\n"
              "wait-for ALERT_REQ plci=0x101 timeout=30\n"
              "wait-for OPEN timeout=60\n");
    startSniTray();
    startApp();
    std::string items;
    ASSERT_TRUE(waitUntil([&] {
        items = watcherProperty("RegisteredStatusNotifierItems");
        return items.starts_with("as ") && !items.starts_with("as 0");
    })) << items
        << err();
    // "as 1 \"SERVICE/PATH\"" or a service name alone (then the path is the usual one).
    const std::size_t open = items.find('"');
    const std::string item = items.substr(open + 1, items.find('"', open + 1) - open - 1);
    const std::size_t slash = item.find('/');
    const std::string service = item.substr(0, slash);
    const std::string path =
        slash == std::string::npos ? "/StatusNotifierItem" : item.substr(slash);
    ASSERT_TRUE(sim.waitForEntry(Condition{"ALERT_REQ", {}}, 0, 60s)) << err();
    std::string tip;
    ASSERT_TRUE(waitUntil([&] {
        tip = busctl({"get-property", service, path, "org.kde.StatusNotifierItem", "ToolTip"});
        return tip.find("xxxxxxxx") != std::string::npos;
    })) << tip
        << err();
    EXPECT_NE(tip.find("\"" + bold), std::string::npos) << tip;
    EXPECT_EQ(tip.find("&lt;"), std::string::npos) << tip;
    EXPECT_TRUE(app.isRunning());
    poke();
    app.signal(SIGTERM);
    EXPECT_EQ(app.wait(15s), 0) << err();
}

// A link in place of caller.log is not followed: the call line is kept, the user told,
// and at the end the kept line and the end marker go to stderr whole; no box holds the
// process.
TEST_F(Hardening, LinkInPlaceOfTheLogIsRefused)
{
    const fs::path target = fs::path(dir.path()) / "elsewhere.log";
    fs::create_symlink(target, log());
    ASSERT_NO_FATAL_FAILURE(takeOneCallUntilTold(
        "Anrufliste caller.log ist ein symbolischer Verweis und wird nicht beschrieben."));
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0) << err();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(log()));
    EXPECT_TRUE(std::regex_search(
        err(), std::regex("Diese Zeilen fehlen darin:\n03012345\t345\t[^\n]*\tAnrufer hat "
                          "aufgelegt\n#  \\d\\d-\\d\\d-\\d{4} - \\d\\d:\\d\\d:\\d\\d   Ende\n")))
        << err();
}

// The X server goes away (a log-out): Qt ends the process, and on its way out the kept
// call line is written, now that the disk has room again, and the end marker after it.
TEST_F(Hardening, XServerThatDiesLeavesTheLogFinished)
{
    makeFullDisk(log());
    ASSERT_NO_FATAL_FAILURE(takeOneCallUntilTold("kann nicht geschrieben werden"));
    fs::remove(log());
    // The test's own connection first: Xlib ends a process whose server vanishes.
    x.reset();
    xserver.kill();
    const int status = app.wait(30s);
    EXPECT_NE(status, -2) << "still running without its X server\n" << err();
    const auto lines = linesFrom(readFile(log()));
    ASSERT_EQ(lines.size(), 2u) << readFile(log()) << err();
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("03012345\t345\t.*\tAnrufer hat aufgelegt")))
        << lines[0];
    EXPECT_TRUE(isMarker(lines[1], "Ende")) << lines[1];
}

// A log edited by hand into one record of 20 MB without a line end: the start reads 4 KiB
// of it, stays within its memory, puts the start marker on a line of its own, and ends
// on SIGTERM.
TEST_F(Hardening, RecordOf20MegabytesWithoutLineEnd)
{
    const std::string text = std::string(20'000'000, '7');
    std::ofstream(log(), std::ios::binary) << text;
    startLine("wait-for LISTEN_REQ timeout=30\n");
    startDocked();
    ASSERT_TRUE(waitUntil([&] { return fs::file_size(log()) > text.size() + 2; }, 60s)) << err();
    const std::size_t hwm = statusKiB(app.pid(), "VmHWM");
    std::cout << "VmHWM with a 20 MB record: " << hwm / 1024 << " MiB\n";
    EXPECT_LT(hwm, (3 * text.size()) / 1024 + 100 * 1024);
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0) << err();
    const std::string after = readFile(log());
    ASSERT_EQ(after.substr(0, text.size()), text);
    const auto lines = linesFrom(after, text.size() + 2);
    EXPECT_EQ(after.substr(text.size(), 2), "\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(isMarker(lines[0], "Start")) << lines[0];
    EXPECT_TRUE(isMarker(lines[1], "Ende")) << lines[1];
}

// A sparse log of 1.5 GiB (NUL bytes, no line end until its last lines): only its last
// GiB is read, which stderr says; memory stays bounded; the last call line is shown; the
// program ends on SIGTERM.
TEST_F(Hardening, SparseLogOfOneAndAHalfGigabytes)
{
    const std::uint64_t hole = 3 * (std::uint64_t{1} << 29);
    {
        std::ofstream(log(), std::ios::binary) << "0301\t345\t30.12.2000\t14:05:09\tfirst\r\n";
    }
    ASSERT_EQ(::truncate(log().c_str(), static_cast<off_t>(hole)), 0);
    const std::string tail = "\r\n0302\t345\t30.12.2000\t14:05:10\tlast\r\n";
    std::ofstream(log(), std::ios::binary | std::ios::app) << tail;
    startLine("wait-for LISTEN_REQ timeout=30\n");
    const auto started = std::chrono::steady_clock::now();
    startDocked();
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto lines = linesFrom(readFrom(log(), hole + tail.size()));
            return lines.size() == 1 && isMarker(lines[0], "Start");
        },
        120s))
        << err();
    std::cout << "start marker of a 1.5 GiB sparse log after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - started)
                     .count()
              << " ms\n";
    const std::size_t hwm = statusKiB(app.pid(), "VmHWM");
    std::cout << "VmHWM with a 1.5 GiB sparse log: " << hwm / 1024 << " MiB\n";
    EXPECT_LT(hwm, 3 * (std::size_t{1} << 20) + 100 * 1024);
    EXPECT_NE(err().find("Anrufliste caller.log ist größer als 1 GiB; nur das letzte GiB wird "
                         "geladen."),
              std::string::npos)
        << err();
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0) << err();
    const auto lines = linesFrom(readFrom(log(), hole + tail.size()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(isMarker(lines[1], "Ende")) << lines[1];
}

// ---- an installed copy ----

/// Two users of this machine that are not root, each with a home of their own.
struct User
{
    uid_t uid;
    fs::path home;
    fs::path runtime;

    fs::path dataDir() const { return home / ".local/share/klingelwacht"; }
    std::vector<std::string> env() const
    {
        // No X display is needed for this: the offscreen platform shows the window.
        return {"HOME=" + home.string(),
                "XDG_RUNTIME_DIR=" + runtime.string(),
                "QT_QPA_PLATFORM=offscreen",
                "DBUS_SESSION_BUS_ADDRESS",
                "SESSION_MANAGER",
                "XDG_DATA_HOME",
                "DISPLAY",
                "WAYLAND_DISPLAY"};
    }
};

class InstalledCopy : public ::testing::Test
{
protected:
    TempDir dir;
    fs::path binDir = fs::path(dir.path()) / "bin";

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run the program as other users";
        // The program lies where only root may write, as after an installation.
        fs::create_directories(binDir);
        fs::copy_file(KW_KLINGELWACHT_PATH, binDir / "klingelwacht");
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(binDir.c_str(), 0755);
    }

    User makeUser(uid_t uid, const std::string &name)
    {
        User u{uid, fs::path(dir.path()) / name, fs::path(dir.path()) / (name + "-run")};
        for (const fs::path &p : {u.home, u.runtime}) {
            fs::create_directories(p);
            EXPECT_EQ(::chown(p.c_str(), uid, uid), 0);
            ::chmod(p.c_str(), 0700);
        }
        return u;
    }

    void start(ChildProcess &p, const User &u, const std::string &tag)
    {
        p.start({"setpriv", "--reuid=" + std::to_string(u.uid), "--regid=" + std::to_string(u.uid),
                 "--clear-groups", (binDir / "klingelwacht").string()},
                u.env(), "/dev/null", dir.path() + "/" + tag + ".err", u.home.string());
    }
    std::string err(const std::string &tag) const
    {
        return readFile(dir.path() + "/" + tag + ".err");
    }
    static std::vector<std::string> logLines(const User &u)
    {
        return linesFrom(readFile(u.dataDir() / "caller.log"));
    }
};

// Started twice by one user, the copy runs once, with its log, settings and lock in the
// user's data directory (private), which stderr names; a second user runs a copy of
// their own beside it; SIGTERM writes each end marker there; nothing lands next to the
// program.
TEST_F(InstalledCopy, EachUserRunsOneInstanceWithFilesInTheirDataDirectory)
{
    const User a = makeUser(65534, "a");
    const User b = makeUser(65533, "b");
    ChildProcess first, second, other;
    start(first, a, "first");
    ASSERT_TRUE(waitUntil([&] { return logLines(a).size() == 1; }, 30s)) << err("first");
    EXPECT_TRUE(isMarker(logLines(a)[0], "Start"));
    EXPECT_NE(err("first").find("Anrufliste, Einstellungen und Sperrdatei liegen in " +
                                a.dataDir().string()),
              std::string::npos)
        << err("first");
    EXPECT_EQ(desktop::count(err("first"), "Sperrdatei liegen in"), 1u);

    start(second, a, "second");
    EXPECT_EQ(second.wait(30s), 0) << err("second");
    EXPECT_TRUE(first.isRunning());

    start(other, b, "other");
    ASSERT_TRUE(waitUntil([&] { return logLines(b).size() == 1; }, 30s)) << err("other");
    EXPECT_TRUE(other.isRunning());

    struct stat st = {};
    for (const fs::path &p : {a.dataDir(), a.dataDir() / "caller.log",
                              a.dataDir() / "klingelwacht.lock", b.dataDir()}) {
        ASSERT_EQ(::stat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_mode & 0777, fs::is_directory(p) ? 0700u : 0600u) << p;
    }
    EXPECT_EQ(st.st_uid, b.uid);

    first.signal(SIGTERM);
    other.signal(SIGTERM);
    EXPECT_EQ(first.wait(15s), 0) << err("first");
    EXPECT_EQ(other.wait(15s), 0) << err("other");
    for (const User *u : {&a, &b}) {
        const auto lines = logLines(*u);
        ASSERT_EQ(lines.size(), 2u) << u->home;
        EXPECT_TRUE(isMarker(lines[0], "Start"));
        EXPECT_TRUE(isMarker(lines[1], "Ende"));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(binDir), {}), 1);
}

// A lock that cannot be had in the data directory stops the start with a reason: no copy
// runs unlocked.
TEST_F(InstalledCopy, NoLockNoStart)
{
    const User a = makeUser(65534, "a");
    fs::create_directories(a.dataDir());
    ::chown(a.home.c_str(), a.uid, a.uid);
    for (const fs::path &p : {a.home / ".local", a.home / ".local/share", a.dataDir()})
        ASSERT_EQ(::chown(p.c_str(), a.uid, a.uid), 0);
    ::chmod(a.dataDir().c_str(), 0700);
    // A lock file that belongs to root and is not the user's to open.
    std::ofstream(a.dataDir() / "klingelwacht.lock") << "";
    ::chmod((a.dataDir() / "klingelwacht.lock").c_str(), 0600);
    ChildProcess p;
    start(p, a, "nolock");
    EXPECT_EQ(p.wait(30s), 1) << err("nolock");
    EXPECT_NE(err("nolock").find("Sperrdatei " + (a.dataDir() / "klingelwacht.lock").string() +
                                 " kann nicht angelegt werden"),
              std::string::npos)
        << err("nolock");
    EXPECT_FALSE(fs::exists(a.dataDir() / "caller.log"));
}

} // namespace
