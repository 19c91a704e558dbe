#pragma once

#include "tests/support/ChildProcess.h"

#include <string>

/// A private D-Bus session bus for one test: its own dbus-daemon on a socket in a temporary
/// directory, ended by PID. It activates no services, so only the servers a test starts
/// itself answer (the machine's dunst is not started behind the test's back).
class SessionBus
{
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    /// "unix:path=…"
    const std::string &address() const { return m_address; }
    /// "DBUS_SESSION_BUS_ADDRESS=…", for ChildProcess environments.
    std::string addressEnv() const { return "DBUS_SESSION_BUS_ADDRESS=" + m_address; }

private:
    TempDir m_dir;
    ChildProcess m_daemon;
    std::string m_address;
};
