#include "tests/support/XServer.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

bool displayInUse(int n)
{
    return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
           std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock");
}

} // namespace

XServer::XServer()
{
    // Spread parallel test programs over different numbers; skip numbers in use.
    const int base = 100 + static_cast<int>(getpid() % 400);
    for (int i = 0; i < 50; ++i) {
        const int n = base + i;
        if (displayInUse(n))
            continue;
        m_display = ":" + std::to_string(n);
        m_xvfb.start(
            {"Xvfb", m_display, "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp"});
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (waitUntil([&] { return std::filesystem::exists(socket) || !m_xvfb.isRunning(); }) &&
            m_xvfb.isRunning())
            return;
        m_xvfb.stop();
    }
    throw std::runtime_error("no Xvfb display could be started");
}

XServer::~XServer()
{
    m_xvfb.stop();
}

XDisplay::XDisplay(const std::string &name) : m_dpy(XOpenDisplay(name.c_str()))
{
    if (!m_dpy)
        throw std::runtime_error("cannot open display " + name);
    // Windows come and go while the tree is walked; a vanished one just yields nothing.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
}

XDisplay::~XDisplay()
{
    XCloseDisplay(m_dpy);
}

XDisplay::Window XDisplay::root() const
{
    return DefaultRootWindow(m_dpy);
}

XDisplay::Atom XDisplay::atom(const char *name) const
{
    return XInternAtom(m_dpy, name, False);
}

bool XDisplay::hasTrayOwner() const
{
    const std::string sel = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(m_dpy));
    return XGetSelectionOwner(m_dpy, atom(sel.c_str())) != None;
}

std::vector<XDisplay::Window> XDisplay::children(Window w) const
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

void XDisplay::descendants(Window w, std::vector<Window> &out) const
{
    for (Window c : children(w)) {
        out.push_back(c);
        descendants(c, out);
    }
}

XDisplay::Window XDisplay::parentOf(Window w) const
{
    Window rootRet = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    if (XQueryTree(m_dpy, w, &rootRet, &parent, &kids, &n) && kids)
        XFree(kids);
    return parent;
}

std::vector<unsigned long> XDisplay::cardinals(Window w, const char *property) const
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

std::optional<unsigned long> XDisplay::pidOf(Window w) const
{
    const auto v = cardinals(w, "_NET_WM_PID");
    if (v.empty())
        return std::nullopt;
    return v[0];
}

std::string XDisplay::nameOf(Window w) const
{
    char *name = nullptr;
    std::string out;
    if (XFetchName(m_dpy, w, &name) && name) {
        out = name;
        XFree(name);
    }
    return out;
}

bool XDisplay::hasType(Window w, const char *type) const
{
    const auto types = cardinals(w, "_NET_WM_WINDOW_TYPE");
    return std::find(types.begin(), types.end(), atom(type)) != types.end();
}

bool XDisplay::isOverrideRedirect(Window w) const
{
    XWindowAttributes a{};
    return XGetWindowAttributes(m_dpy, w, &a) && a.override_redirect;
}

bool XDisplay::isViewable(Window w) const
{
    XWindowAttributes a{};
    return XGetWindowAttributes(m_dpy, w, &a) && a.map_state == IsViewable;
}

WindowRect XDisplay::geometry(Window w) const
{
    XWindowAttributes a{};
    WindowRect r;
    if (!XGetWindowAttributes(m_dpy, w, &a))
        return r;
    Window child = 0;
    XTranslateCoordinates(m_dpy, w, root(), 0, 0, &r.x, &r.y, &child);
    r.width = a.width;
    r.height = a.height;
    return r;
}

XDisplay::Window XDisplay::focus() const
{
    Window w = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &w, &revert);
    return w;
}

std::vector<std::pair<unsigned long, unsigned long>> XDisplay::iconSizes(Window w) const
{
    const auto data = cardinals(w, "_NET_WM_ICON");
    std::vector<std::pair<unsigned long, unsigned long>> sizes;
    for (std::size_t i = 0; i + 1 < data.size();) {
        sizes.emplace_back(data[i], data[i + 1]);
        i += 2 + data[i] * data[i + 1];
    }
    return sizes;
}

std::optional<bool> XDisplay::led(const char *name) const
{
    XSync(m_dpy, False);
    Bool on = False;
    if (!XkbGetNamedIndicator(m_dpy, atom(name), nullptr, &on, nullptr, nullptr))
        return std::nullopt;
    return on == True;
}

void XDisplay::sync() const
{
    XSync(m_dpy, False);
}
