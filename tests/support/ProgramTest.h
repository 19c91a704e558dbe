#pragma once

#include "tests/support/ProgramProcess.h"

#include <gtest/gtest.h>
#include <iostream>
#include <string>

/// The fixture of the tests of the whole program against a simulator (CapisimSession or
/// RoutersimSession): the program runs in the session's private directory.
template<class Session> class ProgramTest : public ::testing::Test
{
protected:
    Session sim;
    ProgramProcess program;

    void TearDown() override
    {
        // Stopped between two ticks, never inside a registration (the library's semaphore).
        program.stop();
        sim.stop();
        if (HasFailure())
            std::cerr << "klingelwacht's stderr:\n" << err();
    }

    void startProgram() { program.startIn(sim.dir()); }
    std::string log() const { return program.log(); }
    std::string err() const { return program.err(); }
    bool told(const std::string &text) const { return program.told(text); }
};
