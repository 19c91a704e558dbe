#pragma once

// The real klingelwacht on a private Xvfb, with a real XEmbed tray (trayer) or a real
// StatusNotifierItem host on a private session bus, driven by xdotool and busctl: the
// fixture the desktop tests share.
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/SessionBus.h"
#include "tests/support/XServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace desktop {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Rect = WindowRect;
using Window = XDisplay::Window;

inline std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class DesktopTest : public ::testing::Test
{
protected:
    TempDir dir;
    XServer xserver;
    std::optional<XDisplay> x;
    /// The session bus, for the tests that need one (none: Qt uses the XEmbed tray).
    std::optional<SessionBus> bus;
    ChildProcess trayer;
    ChildProcess sniWatcher;
    ChildProcess sniHost;
    ChildProcess app;
    fs::path binDir;
    fs::path xdg;

    void SetUp() override
    {
        binDir = fs::path(dir.path()) / "bin";
        xdg = fs::path(dir.path()) / "xdg";
        fs::create_directories(binDir);
        fs::create_directories(xdg);
        ::chmod(xdg.c_str(), 0700);
        // The program writes caller.log next to itself: a copy keeps it in the temp dir.
        fs::copy_file(KW_KLINGELWACHT_PATH, binDir / "klingelwacht");
        fs::create_directories(KW_ARTEFACT_DIR);
        x.emplace(xserver.display());
    }

    void TearDown() override
    {
        app.stop();
        trayer.stop();
        sniHost.stop();
        sniWatcher.stop();
        if (HasFailure())
            std::cerr << "klingelwacht's stderr:\n" << readFile(dir.path() + "/kw.err");
    }

    /// More environment for the program, e.g. a locale.
    std::vector<std::string> extraEnv;

    std::vector<std::string> env() const
    {
        // No session bus unless the test has its own, so Qt uses the XEmbed tray; a private
        // runtime dir and home, and no Wayland session around, so nothing of the machine's
        // own desktop or CAPI set-up is seen.
        std::vector<std::string> e{
            xserver.displayEnv(), bus ? bus->addressEnv() : "DBUS_SESSION_BUS_ADDRESS",
            "SESSION_MANAGER",    "WAYLAND_DISPLAY",
            "XDG_SESSION_TYPE",   "XDG_RUNTIME_DIR=" + xdg.string(),
            "HOME=" + dir.path(), "QT_QPA_PLATFORM=xcb"};
        e.insert(e.end(), extraEnv.begin(), extraEnv.end());
        return e;
    }

    void startTrayer()
    {
        trayer.start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                      "--height", "32", "--SetDockType", "true", "--transparent", "false"},
                     env(), "/dev/null", dir.path() + "/trayer.err");
        ASSERT_TRUE(waitUntil([&] { return x->hasTrayOwner(); })) << "trayer took no tray";
    }

    /// busctl --user --json=short on the test's bus: its exit status and the JSON it printed.
    std::pair<int, QJsonObject> busctl(const std::vector<std::string> &args,
                                       std::chrono::milliseconds timeout = 10s)
    {
        std::vector<std::string> argv{"busctl", "--user", "--json=short"};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string out = dir.path() + "/busctl.out";
        fs::remove(out); // ChildProcess appends
        ChildProcess p;
        p.start(argv, env(), out, dir.path() + "/busctl.err");
        const int status = p.wait(timeout);
        const std::string text = readFile(out);
        return {status, QJsonDocument::fromJson(QByteArray::fromStdString(text)).object()};
    }

    /// The StatusNotifierItems the watcher knows, each "busname" or "busname/path".
    std::vector<std::string> registeredItems()
    {
        const auto [status, json] =
            busctl({"get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                    "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
        std::vector<std::string> items;
        for (const auto &v : json.value("data").toArray())
            items.push_back(v.toString().toStdString());
        return items;
    }

    /// A StatusNotifierItem tray as KDE, GNOME's AppIndicator and XFCE have: the watcher
    /// and gtk-sni-tray as the host, on a private session bus.
    void startSniHost()
    {
        bus.emplace();
        sniWatcher.start({"status-notifier-watcher"}, env(), "/dev/null",
                         dir.path() + "/watcher.err");
        ASSERT_TRUE(waitUntil([&] {
            return busctl({"status", "org.kde.StatusNotifierWatcher"}).first == 0;
        })) << "no StatusNotifierWatcher";
        sniHost.start({"gtk-sni-tray-standalone", "--bottom", "-s", "32"}, env(), "/dev/null",
                      dir.path() + "/sni-host.err");
        // Qt looks for a host once, when the icon is made: it must be there first.
        ASSERT_TRUE(waitUntil([&] {
            const auto [status, json] =
                busctl({"get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                        "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"});
            return status == 0 && json.value("data").toBool();
        })) << readFile(dir.path() + "/sni-host.err");
    }

    /// The program in the StatusNotifierItem tray; its item's bus name.
    std::string startInSniTray()
    {
        startSniHost();
        startApp();
        std::string item;
        EXPECT_TRUE(waitUntil([&] {
            const auto items = registeredItems();
            if (!items.empty())
                item = items.front().substr(0, items.front().find('/'));
            return !item.empty();
        })) << readFile(dir.path() + "/kw.err");
        return item;
    }

    /// Starts the program. Unless asked for a first start, an empty ~/.capi20rc counts as a
    /// configured line (libcapi20 then finds nothing, as before), so the program starts in
    /// the tray instead of showing its window.
    void startApp(bool firstStart = false)
    {
        if (!firstStart && !fs::exists(dir / ".capi20rc"))
            std::ofstream(dir / ".capi20rc").flush();
        app.start({(binDir / "klingelwacht").string()}, env(), dir.path() + "/kw.out",
                  dir.path() + "/kw.err", binDir.string());
    }

    /// Runs a command to its end; its exit status.
    int run(const std::vector<std::string> &argv)
    {
        ChildProcess p;
        p.start(argv, env());
        return p.wait(10s);
    }

    /// A command's standard output; its exit status must be 0.
    std::string output(const std::vector<std::string> &argv)
    {
        const std::string out = dir.path() + "/cmd.out";
        fs::remove(out); // ChildProcess appends
        ChildProcess p;
        p.start(argv, env(), out, dir.path() + "/cmd.err");
        EXPECT_EQ(p.wait(10s), 0) << readFile(dir.path() + "/cmd.err");
        return readFile(out);
    }

    void xdotool(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_EQ(run(argv), 0);
    }

    void clickIcon(const std::vector<std::string> &click)
    {
        const Rect r = x->geometry(iconWindow());
        std::vector<std::string> args{"mousemove", std::to_string(r.centreX()),
                                      std::to_string(r.centreY())};
        args.insert(args.end(), click.begin(), click.end());
        xdotool(args);
    }

    std::vector<Window> appWindows() const
    {
        std::vector<Window> all;
        x->descendants(x->root(), all);
        std::vector<Window> own;
        const auto pid = static_cast<unsigned long>(app.pid());
        for (Window w : all)
            if (x->pidOf(w) == pid)
                own.push_back(w);
        return own;
    }

    /// The program's window that the tray has embedded (reparented away from the root).
    Window iconWindow() const
    {
        for (Window w : appWindows())
            if (x->parentOf(w) != x->root() && x->isViewable(w))
                return w;
        return 0;
    }

    Window mainWindow() const
    {
        for (Window w : appWindows())
            if (x->parentOf(w) == x->root() && x->nameOf(w) == "Klingelwacht")
                return w;
        return 0;
    }

    bool mainWindowViewable() const
    {
        const Window w = mainWindow();
        return w && x->isViewable(w);
    }

    /// The program's popup windows other than tooltips: Qt marks its menus as normal
    /// windows, so a menu is an override-redirect top-level window that is no tooltip.
    std::vector<Window> popups(bool tooltips) const
    {
        std::vector<Window> found;
        for (Window w : appWindows())
            if (x->parentOf(w) == x->root() && x->isViewable(w) && x->isOverrideRedirect(w) &&
                x->hasType(w, "_NET_WM_WINDOW_TYPE_TOOLTIP") == tooltips)
                found.push_back(w);
        return found;
    }
    std::vector<Window> openMenus() const { return popups(false); }
    std::vector<Window> tooltips() const { return popups(true); }

    void startDocked()
    {
        startTrayer();
        startApp();
        ASSERT_TRUE(waitUntil([&] { return iconWindow() != 0; }))
            << readFile(dir.path() + "/kw.err");
        const Rect r = x->geometry(iconWindow());
        ASSERT_GE(r.width, 16);
        ASSERT_GE(r.height, 16);
    }

    /// Saves the whole screen as a test artefact and loads it back.
    QImage screenshot(const std::string &name)
    {
        const std::string path = std::string(KW_ARTEFACT_DIR) + "/" + name + ".png";
        fs::remove(path);
        EXPECT_EQ(run({"/usr/bin/import", "-window", "root", path}), 0);
        QImage image(QString::fromStdString(path));
        EXPECT_FALSE(image.isNull()) << path;
        return image;
    }

    /// Something changes only if it is going to; give it this long before saying it did not.
    static void settle() { std::this_thread::sleep_for(700ms); }
};

} // namespace desktop
