#include "settings/LibevdevUinputDevice.h"

#include <cerrno>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

LibevdevUinputDevice::~LibevdevUinputDevice()
{
    if (m_device)
        libevdev_uinput_destroy(m_device);
    if (m_description)
        libevdev_free(m_description);
}

int LibevdevUinputDevice::create(const std::string &name, const std::vector<unsigned> &keyCodes)
{
    if (m_device)
        return EEXIST;
    if (!m_description)
        m_description = libevdev_new();
    if (!m_description)
        return ENOMEM;
    libevdev_set_name(m_description, name.c_str());
    libevdev_set_id_bustype(m_description, BUS_VIRTUAL);
    libevdev_enable_event_type(m_description, EV_KEY);
    for (unsigned code : keyCodes)
        libevdev_enable_event_code(m_description, EV_KEY, code, nullptr);
    const int rc =
        libevdev_uinput_create_from_device(m_description, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_device);
    if (rc < 0) {
        m_device = nullptr;
        return -rc;
    }
    return 0;
}

int LibevdevUinputDevice::writeEvent(unsigned type, unsigned code, int value)
{
    if (!m_device)
        return ENODEV;
    const int rc = libevdev_uinput_write_event(m_device, type, code, value);
    return rc < 0 ? -rc : 0;
}

const char *LibevdevUinputDevice::devNode() const
{
    return m_device ? libevdev_uinput_get_devnode(m_device) : nullptr;
}
