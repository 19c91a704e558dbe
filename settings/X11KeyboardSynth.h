#pragma once

#include "settings/KeyboardSynth.h"

#include <array>
#include <memory>

struct _XDisplay;

/// Toggles lock keys by XTest key events on the X display named by DISPLAY, the way a
/// key typed by the user would. The connection is opened at the first toggle. Without an
/// X display (DISPLAY unset, a pure Wayland session) or without XTest it does nothing
/// and says so once on stderr; likewise for a key the keymap has no keycode for.
class X11KeyboardSynth final : public KeyboardSynth
{
public:
    X11KeyboardSynth();
    ~X11KeyboardSynth() override;
    X11KeyboardSynth(const X11KeyboardSynth &) = delete;
    X11KeyboardSynth &operator=(const X11KeyboardSynth &) = delete;

    void toggleLockKey(LockKey key) override;

    /// Whether DISPLAY names an X server whose XTest reaches the user's keyboard: outside a
    /// Wayland session (WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland), one that opens, has
    /// XTest and is no Xwayland (whose fake keys stay among X programs and never reach the
    /// compositor's keyboard).
    static bool reachesKeyboard();

private:
    struct DisplayCloser
    {
        void operator()(_XDisplay *display) const noexcept;
    };

    /// The open display, or nullptr once opening has failed (said once).
    _XDisplay *display();

    std::unique_ptr<_XDisplay, DisplayCloser> m_display;
    bool m_openTried = false;
    std::array<bool, 3> m_missingKeySaid{};
};
