#pragma once

#include "settings/KeyboardSynth.h"
#include "settings/UinputDevice.h"

#include <functional>
#include <memory>

/// Makes the device under the uinput keyboard.
using UinputDeviceFactory = std::function<std::unique_ptr<UinputDevice>()>;

/// The keyboard adapter for this session, chosen once at start-up: XTest where an X
/// server whose keyboard it reaches is there (an X session), otherwise a virtual keyboard
/// on uinput (Wayland with or without Xwayland, no display at all), on the device that
/// uinputDevice makes (tests give a fake).
std::unique_ptr<KeyboardSynth> makeKeyboardSynth(const UinputDeviceFactory &uinputDevice);

/// The same, the uinput keyboard on the kernel's /dev/uinput.
std::unique_ptr<KeyboardSynth> makeKeyboardSynth();
