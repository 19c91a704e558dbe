#pragma once

#include "tests/support/ChildProcess.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Xlib's Display, declared here so that no test has to include Xlib for it (its macros
// None, Bool and Status break other headers).
struct _XDisplay;

/// A private Xvfb server for one test: its own display number, started with -noreset
/// (otherwise it wipes keymap and lock state when its last client leaves), ended by PID.
class XServer
{
public:
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    /// ":N"
    const std::string &display() const { return m_display; }
    /// Ends the server now, as a log-out ends it under a running program.
    void kill() { m_xvfb.stop(); }
    /// "DISPLAY=:N", for ChildProcess environments.
    std::string displayEnv() const { return "DISPLAY=" + m_display; }

private:
    ChildProcess m_xvfb;
    std::string m_display;
};

/// A window's place on the screen, in root coordinates.
struct WindowRect
{
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

/// The test's own connection to an X server, and what a test asks of it directly: the window
/// tree, properties, focus and the keyboard LEDs. Ids are Xlib's Window and Atom.
class XDisplay
{
public:
    using Window = unsigned long;
    using Atom = unsigned long;

    explicit XDisplay(const std::string &name);
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    /// For the Xlib calls a test makes itself (it then includes Xlib last).
    _XDisplay *handle() const { return m_dpy; }

    Window root() const;
    Atom atom(const char *name) const;
    bool hasTrayOwner() const;
    std::vector<Window> children(Window w) const;
    void descendants(Window w, std::vector<Window> &out) const;
    Window parentOf(Window w) const;
    std::vector<unsigned long> cardinals(Window w, const char *property) const;
    std::optional<unsigned long> pidOf(Window w) const;
    std::string nameOf(Window w) const;
    bool hasType(Window w, const char *type) const;
    bool isOverrideRedirect(Window w) const;
    bool isViewable(Window w) const;
    WindowRect geometry(Window w) const;
    Window focus() const;
    /// Sizes listed in _NET_WM_ICON (width, height pairs before each image).
    std::vector<std::pair<unsigned long, unsigned long>> iconSizes(Window w) const;
    /// Whether the keyboard LED of this name ("Caps Lock", ...) is lit; nothing when the
    /// server has no such LED.
    std::optional<bool> led(const char *name) const;
    void sync() const;

private:
    _XDisplay *m_dpy;
};
