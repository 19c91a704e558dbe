// The real klingelwacht in a real XEmbed tray (trayer) on a private Xvfb, driven by xdotool.
#include "ChildProcess.h"
#include "XServer.h"

#include <QColor>
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Rect
{
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t count(const std::string &text, const std::string &what)
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

class TrayDesktopTest : public ::testing::Test
{
protected:
    TempDir dir;
    XServer xserver;
    std::optional<XDisplay> x;
    ChildProcess trayer;
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
        if (HasFailure())
            std::cerr << "klingelwacht's stderr:\n" << readFile(dir.path() + "/kw.err");
    }

    std::vector<std::string> env() const
    {
        // No session bus, so Qt uses the XEmbed tray; a private runtime dir and home, so
        // nothing of the machine's own desktop or CAPI set-up is seen.
        return {xserver.displayEnv(), "DBUS_SESSION_BUS_ADDRESS",
                "SESSION_MANAGER",    "XDG_RUNTIME_DIR=" + xdg.string(),
                "HOME=" + dir.path(), "QT_QPA_PLATFORM=xcb"};
    }

    void startTrayer()
    {
        trayer.start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                      "--height", "32", "--SetDockType", "true", "--transparent", "false"},
                     env(), "/dev/null", dir.path() + "/trayer.err");
        ASSERT_TRUE(waitUntil([&] { return x->hasTrayOwner(); })) << "trayer took no tray";
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

bool isTelephoneRed(const QColor &c)
{
    return c.red() > 170 && c.green() < 90 && c.blue() < 90;
}

// The icon docks into the tray, shows the red telephone, and the window starts hidden.
TEST_F(TrayDesktopTest, IconIsInTheTrayShowingTheRedTelephone)
{
    startDocked();
    const Rect r = x->geometry(iconWindow());
    waitUntil([] { return false; }, 300ms); // let the icon paint
    const QImage shot = screenshot("tray-icon");
    int red = 0, dial = 0;
    for (int py = r.y; py < r.y + r.height; ++py)
        for (int px = r.x; px < r.x + r.width; ++px) {
            const QColor c = shot.pixelColor(px, py);
            red += isTelephoneRed(c);
            dial += c.red() > 230 && c.green() > 220 && c.blue() > 200;
        }
    EXPECT_GT(red, 60) << "no red telephone in the tray icon's area";
    EXPECT_GT(dial, 2) << "no light dial on the telephone";
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_EQ(readFile(dir.path() + "/kw.err").find("kein Infobereich"), std::string::npos);
}

// Resting the pointer on the icon shows the start tooltip.
TEST_F(TrayDesktopTest, HoverShowsTheTooltip)
{
    startDocked();
    const Rect r = x->geometry(iconWindow());
    xdotool({"mousemove", std::to_string(r.centreX() - 3), std::to_string(r.centreY() - 3)});
    xdotool({"mousemove", std::to_string(r.centreX()), std::to_string(r.centreY())});
    ASSERT_TRUE(waitUntil([&] { return !tooltips().empty(); }));
    const Rect tip = x->geometry(tooltips()[0]);
    EXPECT_GT(tip.width, 30);
    EXPECT_GE(tip.y, r.y);
    screenshot("tray-tooltip");
    EXPECT_TRUE(openMenus().empty());
}

TEST_F(TrayDesktopTest, LeftClickShowsTheHiddenWindowNormalAndActive)
{
    startDocked();
    EXPECT_FALSE(mainWindowViewable());
    clickIcon({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    const Window w = mainWindow();
    const Rect r = x->geometry(w);
    EXPECT_EQ(r.width, 483);
    EXPECT_EQ(r.height, 190);
    EXPECT_TRUE(waitUntil([&] { return x->focus() == w; }, 3s)) << "the window is not active";
    const auto sizes = x->iconSizes(w);
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), std::pair(16ul, 16ul)), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), std::pair(32ul, 32ul)), sizes.end());
}

TEST_F(TrayDesktopTest, DoubleClickShowsTheWindow)
{
    startDocked();
    clickIcon({"click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(openMenus().empty());
}

TEST_F(TrayDesktopTest, MiddleClickChangesNothing)
{
    startDocked();
    clickIcon({"click", "2"});
    settle();
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_TRUE(openMenus().empty());
    EXPECT_TRUE(app.isRunning());
}

// One right click opens one menu; Return chooses the default item "&Anrufliste anzeigen".
TEST_F(TrayDesktopTest, RightClickOpensTheMenuReturnShowsTheList)
{
    startDocked();
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    settle();
    ASSERT_EQ(openMenus().size(), 1u);
    const Rect menu = x->geometry(openMenus()[0]);
    const Rect icon = x->geometry(iconWindow());
    // At the pointer: its top at the pointer's height, moved left only as far as the
    // screen's right edge demands.
    EXPECT_NEAR(menu.y, icon.centreY(), 2);
    EXPECT_LE(menu.x, icon.centreX());
    EXPECT_LE(menu.x + menu.width, 1024);
    EXPECT_GE(menu.x + menu.width, std::min(1024, icon.centreX() + 1));
    screenshot("tray-menu");
    EXPECT_FALSE(mainWindowViewable());

    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(waitUntil([&] { return openMenus().empty(); }));
    EXPECT_TRUE(app.isRunning());
}

TEST_F(TrayDesktopTest, EscapeClosesTheMenuAndChangesNothing)
{
    startDocked();
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return openMenus().empty(); }));
    settle();
    EXPECT_TRUE(openMenus().empty());
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_TRUE(app.isRunning());
}

// "&Beenden" by its access key: the program unloads, ends and its icon leaves the tray.
TEST_F(TrayDesktopTest, BeendenEndsTheProgramAndRemovesTheIcon)
{
    startDocked();
    const Rect icon = x->geometry(iconWindow());
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"type", "b"});
    EXPECT_EQ(app.wait(10s), 0);
    EXPECT_EQ(iconWindow(), 0u);
    waitUntil([] { return false; }, 300ms); // let the tray repaint
    const QImage shot = screenshot("tray-after-beenden");
    int red = 0;
    for (int py = icon.y; py < icon.y + icon.height; ++py)
        for (int px = icon.x; px < icon.x + icon.width; ++px)
            red += isTelephoneRed(shot.pixelColor(px, py));
    EXPECT_EQ(red, 0) << "the telephone is still in the tray";
    const std::string log = readFile(binDir / "caller.log");
    EXPECT_NE(log.find("   Start\r\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("   Ende\r\n")) << log;
}

// Without a tray the window is shown, the user is told once, and a tray that turns up
// later still gets the icon, which then works.
TEST_F(TrayDesktopTest, WithoutATrayTheWindowStaysShown)
{
    startApp();
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }))
        << readFile(dir.path() + "/kw.err");
    settle();
    EXPECT_EQ(count(readFile(dir.path() + "/kw.err"),
                    "Klingelwacht: kein Infobereich (System Tray) verfügbar; das Fenster bleibt "
                    "sichtbar.\n"),
              1u);

    startTrayer();
    ASSERT_TRUE(waitUntil([&] { return iconWindow() != 0; }));
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"type", "b"});
    EXPECT_EQ(app.wait(10s), 0);
    EXPECT_EQ(count(readFile(dir.path() + "/kw.err"), "kein Infobereich"), 1u);
}

} // namespace
