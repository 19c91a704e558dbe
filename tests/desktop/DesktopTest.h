#pragma once

// The real klingelwacht on a private Xvfb, with a real XEmbed tray (trayer) or a real
// StatusNotifierItem host on a private session bus, driven by xdotool and busctl: the
// fixture the desktop tests share.
#include "tests/support/ChildProcess.h"
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

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace desktop {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Rect
{
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

inline std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

/// What the test asks of the X server directly: the window tree, properties and focus.
class XDisplay
{
public:
    explicit XDisplay(const std::string &name) : m_dpy(XOpenDisplay(name.c_str()))
    {
        if (!m_dpy)
            throw std::runtime_error("cannot open display " + name);
        // Windows come and go while the tree is walked; a vanished one just yields nothing.
        XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    }
    ~XDisplay() { XCloseDisplay(m_dpy); }
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    Window root() const { return DefaultRootWindow(m_dpy); }
    Atom atom(const char *name) const { return XInternAtom(m_dpy, name, False); }

    bool hasTrayOwner() const
    {
        const std::string sel = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(m_dpy));
        return XGetSelectionOwner(m_dpy, atom(sel.c_str())) != None;
    }

    std::vector<Window> children(Window w) const
    {
        Window rootRet = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        std::vector<Window> out;
        if (XQueryTree(m_dpy, w, &rootRet, &parent, &kids, &n)) {
            out.assign(kids, kids + n);
            if (kids)
                XFree(kids);
        }
        return out;
    }

    void descendants(Window w, std::vector<Window> &out) const
    {
        for (Window c : children(w)) {
            out.push_back(c);
            descendants(c, out);
        }
    }

    Window parentOf(Window w) const
    {
        Window rootRet = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(m_dpy, w, &rootRet, &parent, &kids, &n) && kids)
            XFree(kids);
        return parent;
    }

    std::vector<unsigned long> cardinals(Window w, const char *property) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        std::vector<unsigned long> out;
        if (XGetWindowProperty(m_dpy, w, atom(property), 0, 1 << 20, False, AnyPropertyType, &type,
                               &format, &items, &after, &data) == Success &&
            data) {
            if (format == 32) {
                const auto *values = reinterpret_cast<const unsigned long *>(data);
                out.assign(values, values + items);
            }
            XFree(data);
        }
        return out;
    }

    std::optional<unsigned long> pidOf(Window w) const
    {
        const auto v = cardinals(w, "_NET_WM_PID");
        if (v.empty())
            return std::nullopt;
        return v[0];
    }

    std::string nameOf(Window w) const
    {
        char *name = nullptr;
        std::string out;
        if (XFetchName(m_dpy, w, &name) && name) {
            out = name;
            XFree(name);
        }
        return out;
    }

    bool hasType(Window w, const char *type) const
    {
        const auto types = cardinals(w, "_NET_WM_WINDOW_TYPE");
        return std::find(types.begin(), types.end(), atom(type)) != types.end();
    }

    bool isOverrideRedirect(Window w) const
    {
        XWindowAttributes a{};
        return XGetWindowAttributes(m_dpy, w, &a) && a.override_redirect;
    }

    bool isViewable(Window w) const
    {
        XWindowAttributes a{};
        return XGetWindowAttributes(m_dpy, w, &a) && a.map_state == IsViewable;
    }

    Rect geometry(Window w) const
    {
        XWindowAttributes a{};
        Rect r;
        if (!XGetWindowAttributes(m_dpy, w, &a))
            return r;
        Window child = 0;
        XTranslateCoordinates(m_dpy, w, root(), 0, 0, &r.x, &r.y, &child);
        r.width = a.width;
        r.height = a.height;
        return r;
    }

    Window focus() const
    {
        Window w = 0;
        int revert = 0;
        XGetInputFocus(m_dpy, &w, &revert);
        return w;
    }

    /// Sizes listed in _NET_WM_ICON (width, height pairs before each image).
    std::vector<std::pair<unsigned long, unsigned long>> iconSizes(Window w) const
    {
        const auto data = cardinals(w, "_NET_WM_ICON");
        std::vector<std::pair<unsigned long, unsigned long>> sizes;
        for (std::size_t i = 0; i + 1 < data.size();) {
            sizes.emplace_back(data[i], data[i + 1]);
            i += 2 + data[i] * data[i + 1];
        }
        return sizes;
    }

    void sync() const { XSync(m_dpy, False); }

private:
    Display *m_dpy;
};

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
        fs::copy_file(KW_BINARY, binDir / "klingelwacht");
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

    void startApp()
    {
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
