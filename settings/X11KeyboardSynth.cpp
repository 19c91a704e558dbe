#include "settings/X11KeyboardSynth.h"

#include "base/Notice.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct KeyInfo
{
    KeySym keysym;
    const char *name;
};

KeyInfo keyInfo(LockKey key)
{
    switch (key) {
    case LockKey::NumLock:
        return {XK_Num_Lock, "Num_Lock"};
    case LockKey::CapsLock:
        return {XK_Caps_Lock, "Caps_Lock"};
    case LockKey::ScrollLock:
        return {XK_Scroll_Lock, "Scroll_Lock"};
    }
    return {NoSymbol, "?"};
}

bool isWaylandSession()
{
    const char *display = std::getenv("WAYLAND_DISPLAY");
    const char *type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

} // namespace

void X11KeyboardSynth::DisplayCloser::operator()(_XDisplay *display) const noexcept
{
    XCloseDisplay(display);
}

X11KeyboardSynth::X11KeyboardSynth() = default;
X11KeyboardSynth::~X11KeyboardSynth() = default;

_XDisplay *X11KeyboardSynth::display()
{
    if (m_openTried)
        return m_display.get();
    m_openTried = true;
    std::unique_ptr<_XDisplay, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        notice("keine X-Anzeige (DISPLAY nicht gesetzt oder nicht erreichbar); die "
               "Feststelltasten werden nicht umgeschaltet.");
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor)) {
        notice("die X-Anzeige bietet kein XTest; die Feststelltasten werden nicht "
               "umgeschaltet.");
        return nullptr;
    }
    m_display = std::move(display);
    return m_display.get();
}

bool X11KeyboardSynth::reachesKeyboard()
{
    // In a Wayland session DISPLAY names Xwayland. It is not even asked: the question
    // alone would start an Xwayland that sway and others start only for a first X client.
    if (isWaylandSession())
        return false;
    std::unique_ptr<_XDisplay, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display)
        return false;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor))
        return false;
    // An Xwayland reached from outside its session: from 23.1 on it has this extension
    // (Debian 12's 22.1 has none and is known only by the session around it).
    int opcode = 0;
    return !XQueryExtension(display.get(), "XWAYLAND", &opcode, &eventBase, &errorBase);
}

void X11KeyboardSynth::toggleLockKey(LockKey key)
{
    _XDisplay *dpy = display();
    if (!dpy)
        return;
    const KeyInfo info = keyInfo(key);
    const KeyCode code = XKeysymToKeycode(dpy, info.keysym);
    if (code == 0) {
        bool &said = m_missingKeySaid.at(static_cast<std::size_t>(key));
        if (!said) {
            notice(std::string("die Tastaturbelegung hat keine Taste ") + info.name +
                   "; sie wird nicht umgeschaltet.");
            said = true;
        }
        return;
    }
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    // Wait until the server has handled both events, so the LED has changed on return.
    XSync(dpy, False);
}
