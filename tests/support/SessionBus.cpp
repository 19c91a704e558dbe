#include "tests/support/SessionBus.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

SessionBus::SessionBus()
{
    const std::string socket = m_dir.path() + "/bus";
    const std::string config = m_dir.path() + "/session.conf";
    // The session bus's own policy without its <servicedir>s and <include>s.
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC "
                             "\"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\" "
                             "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:path="
                          << socket
                          << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    m_address = "unix:path=" + socket;
    m_daemon.start({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + config}, {},
                   "/dev/null", m_dir.path() + "/dbus.err");
    if (!waitUntil([&] { return std::filesystem::exists(socket) || !m_daemon.isRunning(); }) ||
        !m_daemon.isRunning())
        throw std::runtime_error("dbus-daemon did not start");
}

SessionBus::~SessionBus()
{
    m_daemon.stop();
}
