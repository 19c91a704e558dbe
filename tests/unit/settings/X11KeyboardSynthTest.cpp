#include "settings/X11KeyboardSynth.h"

#include "settings/LockKeySignaller.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::size_t count(const std::string &haystack, const std::string &needle)
{
    std::size_t n = 0;
    for (std::size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + 1))
        ++n;
    return n;
}

// As in a pure Wayland session: nothing happens, stderr says so once, and the flags
// turn true all the same.
TEST(X11KeyboardSynth, WithoutDisplaySaysSoOnce)
{
    ::unsetenv("DISPLAY");
    X11KeyboardSynth keyboard;
    LockKeyFlags flags;
    LockKeySignaller signaller(keyboard, flags);
    testing::internal::CaptureStderr();
    signaller.signal("123");
    keyboard.toggleLockKey(LockKey::NumLock);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count(err, "keine X-Anzeige"), 1u) << err;
    EXPECT_EQ(flags.NumLockSignalled, -1);
    EXPECT_EQ(flags.CapsLockSignalled, -1);
    EXPECT_EQ(flags.ScrollLockSignalled, -1);
}

} // namespace
