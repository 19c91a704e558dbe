#pragma once

#include "settings/KeyboardSynth.h"

#include <vector>

/// Records the lock keys it was asked to toggle.
class FakeKeyboard final : public KeyboardSynth
{
public:
    std::vector<LockKey> toggled;
    void toggleLockKey(LockKey key) override { toggled.push_back(key); }
};
