#pragma once

/// The three keyboard lock keys whose LEDs can signal a call.
enum class LockKey { NumLock, CapsLock, ScrollLock };

/// Synthesises key presses on the desktop.
class KeyboardSynth
{
public:
    virtual ~KeyboardSynth() = default;
    /// Presses and releases the lock key, which toggles its state and LED.
    virtual void toggleLockKey(LockKey key) = 0;
};
