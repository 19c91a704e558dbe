#include "settings/KeyboardSynthChooser.h"
#include "settings/LockKeySignaller.h"
#include "settings/X11KeyboardSynth.h"
#include "tests/fakes/FakeUinputDevice.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/XServer.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;

struct Leds
{
    bool num = false;
    bool caps = false;
    bool scroll = false;
    bool operator==(const Leds &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Leds &l)
{
    return os << "{num " << l.num << ", caps " << l.caps << ", scroll " << l.scroll << "}";
}

// One private X server with a desktop's keymap, the test's own connection to read the
// LEDs, and DISPLAY pointed at it for the adapter (which opens its connection lazily).
class LockKeyLeds : public testing::Test
{
protected:
    void SetUp() override
    {
        ChildProcess xmodmap;
        // Xvfb's default keymap gives Scroll_Lock no modifier, so its LED never lights;
        // desktop keymaps bind it to mod3.
        xmodmap.start({"xmodmap", "-e", "add mod3 = Scroll_Lock"}, {server.displayEnv()});
        ASSERT_EQ(xmodmap.wait(10s), 0);
        ASSERT_EQ(::setenv("DISPLAY", server.display().c_str(), 1), 0);
        // An X session, not a Wayland one around an Xwayland.
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("XDG_SESSION_TYPE");
        ASSERT_NO_THROW(own.emplace(server.display()));
    }

    bool led(const char *name)
    {
        const std::optional<bool> on = own->led(name);
        EXPECT_TRUE(on) << name;
        return on.value_or(false);
    }
    Leds leds() { return {led("Num Lock"), led("Caps Lock"), led("Scroll Lock")}; }

    // Toggles a key through the test's own connection, to set up a starting state.
    void pressOwn(KeySym sym)
    {
        const KeyCode code = XKeysymToKeycode(own->handle(), sym);
        XTestFakeKeyEvent(own->handle(), code, True, CurrentTime);
        XTestFakeKeyEvent(own->handle(), code, False, CurrentTime);
        XSync(own->handle(), False);
    }

    XServer server;
    std::optional<XDisplay> own;
    X11KeyboardSynth keyboard;
    LockKeyFlags flags;
    LockKeySignaller signaller{keyboard, flags};
};

TEST_F(LockKeyLeds, MatchingCallTogglesItsLedOnce)
{
    signaller.setMsn(1, "45");
    signaller.setMsn(2, "67");
    signaller.setMsn(3, "89");
    ASSERT_EQ(leds(), (Leds{false, false, false}));

    signaller.signal("345");
    EXPECT_EQ(leds(), (Leds{true, false, false}));
    signaller.signal("345");
    EXPECT_EQ(leds(), (Leds{true, false, false}));

    signaller.signal("06789");
    EXPECT_EQ(leds(), (Leds{true, true, true}));
    signaller.signal("06789");
    signaller.signal("4567890");
    EXPECT_EQ(leds(), (Leds{true, true, true}));
}

TEST_F(LockKeyLeds, NoSettingsFirstCallTogglesAllThree)
{
    signaller.signal("");
    EXPECT_EQ(leds(), (Leds{false, false, false}));
    signaller.signal("4711");
    EXPECT_EQ(leds(), (Leds{true, true, true}));
    signaller.signal("4712");
    EXPECT_EQ(leds(), (Leds{true, true, true}));
}

// A toggle, not a switch-on: a key that was on goes off.
TEST_F(LockKeyLeds, KeyThatWasOnIsSwitchedOff)
{
    pressOwn(XK_Num_Lock);
    pressOwn(XK_Scroll_Lock);
    ASSERT_EQ(leds(), (Leds{true, false, true}));
    signaller.signal("4711");
    EXPECT_EQ(leds(), (Leds{false, true, false}));
}

// A keymap without the key: nothing happens, stderr says so once, the flag turns true.
TEST_F(LockKeyLeds, KeyWithoutKeycode)
{
    const KeyCode code = XKeysymToKeycode(own->handle(), XK_Scroll_Lock);
    ASSERT_NE(code, 0);
    ChildProcess xmodmap;
    xmodmap.start({"xmodmap", "-e", "clear mod3", "-e", "keycode " + std::to_string(code) + " ="},
                  {server.displayEnv()});
    ASSERT_EQ(xmodmap.wait(10s), 0);

    testing::internal::CaptureStderr();
    signaller.signal("4711");
    keyboard.toggleLockKey(LockKey::ScrollLock);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(leds(), (Leds{true, true, false}));
    EXPECT_EQ(flags.ScrollLockSignalled, -1);
    const std::string said = "keine Taste Scroll_Lock";
    const std::size_t first = err.find(said);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(said, first + 1), std::string::npos) << err;
}

// The chooser with a fake uinput device, so no test types on the machine's real keyboard.
struct Choice
{
    std::shared_ptr<UinputRecord> record = std::make_shared<UinputRecord>();
    std::unique_ptr<KeyboardSynth> synth =
        makeKeyboardSynth([this] { return std::make_unique<FakeUinputDevice>(record); });
    bool tookUinput() const { return !record->createdNames.empty(); }
};

// An X server whose keyboard XTest reaches gets the XTest adapter: the LED changes.
TEST_F(LockKeyLeds, ChooserTakesXTestOnAnXServer)
{
    Choice choice;
    EXPECT_FALSE(choice.tookUinput());
    choice.synth->toggleLockKey(LockKey::CapsLock);
    EXPECT_EQ(leds(), (Leds{false, true, false}));
}

// In a Wayland session DISPLAY names an Xwayland, whose XTest keys never reach the
// compositor's keyboard: the choice is uinput, though this X server would take XTest.
TEST_F(LockKeyLeds, ChooserTakesUinputInAWaylandSession)
{
    const std::pair<const char *, const char *> sessions[] = {{"WAYLAND_DISPLAY", "wayland-0"},
                                                              {"XDG_SESSION_TYPE", "wayland"}};
    for (const auto &[name, value] : sessions) {
        ::setenv(name, value, 1);
        Choice choice;
        ::unsetenv(name);
        EXPECT_TRUE(choice.tookUinput()) << name;
        choice.synth->toggleLockKey(LockKey::CapsLock);
        EXPECT_EQ(choice.record->events.size(), 4u) << name;
        EXPECT_EQ(leds(), (Leds{false, false, false})) << name;
    }
    // Any other session type is no Wayland session.
    ::setenv("XDG_SESSION_TYPE", "x11", 1);
    Choice choice;
    ::unsetenv("XDG_SESSION_TYPE");
    EXPECT_FALSE(choice.tookUinput());
}

// Without an X display the choice is uinput.
TEST(KeyboardSynthChooser, WithoutXTakesUinput)
{
    const char *display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    ::unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    Choice choice;
    const std::string err = testing::internal::GetCapturedStderr();
    if (display)
        ::setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_TRUE(choice.tookUinput());
    EXPECT_EQ(err, "");
}

} // namespace
