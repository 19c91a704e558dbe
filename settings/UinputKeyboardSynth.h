#pragma once

#include "settings/KeyboardSynth.h"
#include "settings/UinputDevice.h"

#include <memory>
#include <string>

/// Toggles lock keys through a virtual keyboard on /dev/uinput: the kernel hands its key
/// events to the compositor (or the console) like those of a real keyboard, so this works
/// where XTest cannot reach the keyboard (Wayland, no X display). The device is made at
/// construction, not at the first call: a desktop needs a moment to take up a new
/// keyboard, and events sent before that are lost. Without /dev/uinput it does nothing
/// and says once on stderr why and how to fix it.
class UinputKeyboardSynth final : public KeyboardSynth
{
public:
    explicit UinputKeyboardSynth(std::unique_ptr<UinputDevice> device);
    UinputKeyboardSynth(const UinputKeyboardSynth &) = delete;
    UinputKeyboardSynth &operator=(const UinputKeyboardSynth &) = delete;

    void toggleLockKey(LockKey key) override;

    /// Whether the virtual keyboard exists.
    bool isReady() const { return m_ready; }

    /// The device's name, as `libinput list-devices` shows it.
    static constexpr const char *deviceName = "Klingelwacht Feststelltasten";
    /// The udev rule that grants the seated user /dev/uinput, as the repository has it.
    static constexpr const char *udevRule = "data/udev/70-klingelwacht-uinput.rules";
    /// The stderr message for a device that cannot be made, by errno.
    static std::string failureText(int error);

private:
    bool write(unsigned type, unsigned code, int value);

    std::unique_ptr<UinputDevice> m_device;
    bool m_ready = false;
    bool m_writeFailureSaid = false;
};
