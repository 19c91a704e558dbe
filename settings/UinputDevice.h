#pragma once

#include <string>
#include <vector>

/// A virtual input device made through the kernel's uinput: the seam under the uinput
/// keyboard, so that the events it writes can be checked without a kernel device.
class UinputDevice
{
public:
    virtual ~UinputDevice() = default;
    /// Creates the device under this name, able to send these EV_KEY codes; 0 once it
    /// exists, otherwise the errno that says why it cannot be made.
    virtual int create(const std::string &name, const std::vector<unsigned> &keyCodes) = 0;
    /// Writes one input event to the created device; 0, or the errno of the failure.
    virtual int writeEvent(unsigned type, unsigned code, int value) = 0;
};
