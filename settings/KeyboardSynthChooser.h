#pragma once

#include "settings/KeyboardSynth.h"

#include <memory>

/// The keyboard adapter for this session, chosen once at start-up: XTest where an X
/// server whose keyboard it reaches is there (an X session), otherwise a virtual keyboard
/// on /dev/uinput (Wayland, Xwayland, no display at all).
std::unique_ptr<KeyboardSynth> makeKeyboardSynth();
