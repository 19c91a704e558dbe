#pragma once

#include "tests/support/ChildProcess.h"

#include <string>

/// The real klingelwacht as a copy of its own in a test's directory, which is also its HOME
/// and working directory (caller.log and the settings file lie next to the executable). It
/// runs on the offscreen platform with a private runtime directory and no session bus, and
/// is ended by PID.
class ProgramProcess : public ChildProcess
{
public:
    /// Copies the program into dir and starts it there; stdout and stderr go to
    /// program.out and program.err in dir.
    void startIn(const std::string &dir);

    std::string log() const;
    std::string err() const;
    bool told(const std::string &text) const { return err().find(text) != std::string::npos; }

private:
    std::string m_dir;
};
