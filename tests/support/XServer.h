#pragma once

#include "tests/support/ChildProcess.h"

#include <string>

/// A private Xvfb server for one test: its own display number, started with -noreset
/// (otherwise it wipes keymap and lock state when its last client leaves), ended by PID.
class XServer
{
public:
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    /// ":N"
    const std::string &display() const { return m_display; }
    /// Ends the server now, as a log-out ends it under a running program.
    void kill() { m_xvfb.stop(); }
    /// "DISPLAY=:N", for ChildProcess environments.
    std::string displayEnv() const { return "DISPLAY=" + m_display; }

private:
    ChildProcess m_xvfb;
    std::string m_display;
};
