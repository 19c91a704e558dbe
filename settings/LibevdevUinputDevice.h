#pragma once

#include "settings/UinputDevice.h"

struct libevdev;
struct libevdev_uinput;

/// A uinput device made by libevdev, which opens /dev/uinput itself and removes the
/// device again when this object goes.
class LibevdevUinputDevice final : public UinputDevice
{
public:
    LibevdevUinputDevice() = default;
    ~LibevdevUinputDevice() override;
    LibevdevUinputDevice(const LibevdevUinputDevice &) = delete;
    LibevdevUinputDevice &operator=(const LibevdevUinputDevice &) = delete;

    int create(const std::string &name, const std::vector<unsigned> &keyCodes) override;
    int writeEvent(unsigned type, unsigned code, int value) override;

    /// The device's /dev/input/event* node once it exists (for tests that read it back).
    const char *devNode() const;

private:
    libevdev *m_description = nullptr;
    libevdev_uinput *m_device = nullptr;
};
