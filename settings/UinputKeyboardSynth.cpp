#include "settings/UinputKeyboardSynth.h"

#include "base/Notice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/input-event-codes.h>

namespace {

unsigned keyCode(LockKey key)
{
    switch (key) {
    case LockKey::NumLock:
        return KEY_NUMLOCK;
    case LockKey::CapsLock:
        return KEY_CAPSLOCK;
    case LockKey::ScrollLock:
        return KEY_SCROLLLOCK;
    }
    return KEY_RESERVED;
}

constexpr const char *kNoToggle = "die Feststelltasten werden nicht umgeschaltet";

} // namespace

UinputKeyboardSynth::UinputKeyboardSynth(std::unique_ptr<UinputDevice> device)
    : m_device(std::move(device))
{
    const int error = m_device->create(deviceName, {KEY_NUMLOCK, KEY_CAPSLOCK, KEY_SCROLLLOCK});
    m_ready = error == 0;
    if (!m_ready)
        notice(failureText(error));
}

std::string UinputKeyboardSynth::failureText(int error)
{
    const std::string why = std::strerror(error);
    switch (error) {
    case EACCES:
    case EPERM:
        return std::string("kein Zugriff auf /dev/uinput (") + why + "); " + kNoToggle +
               ". Abhilfe: die udev-Regel " + udevRule +
               " (im Paket unter /usr/share/doc/klingelwacht/) nach /etc/udev/rules.d/ "
               "kopieren (siehe README).";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return std::string("/dev/uinput fehlt (") + why + "); " + kNoToggle +
               ". Abhilfe: das Kernelmodul laden (sudo modprobe uinput).";
    default:
        return std::string("keine virtuelle Tastatur auf /dev/uinput (") + why + "); " + kNoToggle +
               ".";
    }
}

bool UinputKeyboardSynth::write(unsigned type, unsigned code, int value)
{
    const int error = m_device->writeEvent(type, code, value);
    if (error == 0)
        return true;
    if (!m_writeFailureSaid) {
        notice(std::string("die virtuelle Tastatur nimmt keine Taste an (") + std::strerror(error) +
               "); " + kNoToggle + ".");
        m_writeFailureSaid = true;
    }
    return false;
}

void UinputKeyboardSynth::toggleLockKey(LockKey key)
{
    if (!m_ready)
        return;
    const unsigned code = keyCode(key);
    // Each half is its own report, as a real keyboard sends them; a press that did not
    // go out needs no release.
    if (!write(EV_KEY, code, 1) || !write(EV_SYN, SYN_REPORT, 0))
        return;
    write(EV_KEY, code, 0);
    write(EV_SYN, SYN_REPORT, 0);
}
