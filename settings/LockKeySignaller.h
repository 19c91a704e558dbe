#pragma once

#include "settings/KeyboardSynth.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

/// The three "signalled" flags: 0 false, -1 true; never reset during a run.
struct LockKeyFlags
{
    std::int16_t NumLockSignalled = 0;
    std::int16_t CapsLockSignalled = 0;
    std::int16_t ScrollLockSignalled = 0;
};

/// Toggles a lock key at the first call whose called number matches its MSN setting.
class LockKeySignaller
{
public:
    LockKeySignaller(KeyboardSynth &keyboard, LockKeyFlags &flags);

    /// MSN setting i (1 to 3).
    void setMsn(int i, std::string value);

    /// The three checks for one incoming call, Num Lock, Caps Lock, Scroll Lock: a key
    /// whose setting matches and whose flag is still false is toggled, and its flag set.
    void signal(std::string_view calledNumber);

    /// An empty called number never matches; an empty setting matches any other;
    /// otherwise the setting must occur in the called number as it stands (case matters).
    static bool matches(std::string_view setting, std::string_view calledNumber);

private:
    KeyboardSynth &m_keyboard;
    LockKeyFlags &m_flags;
    std::array<std::string, 4> m_msn; // element 0 unused
};
