#pragma once

#include "tools/simcore/Server.h"

#include <functional>
#include <string>

/// The command line both simulators share: --port, --port-file, --transcript, --exit-at-end,
/// -h and one scenario file; each adds options of its own.
namespace simcore {

struct Tool
{
    const char *name;
    const char *usage;
    /// Takes one of the tool's own options, its value through value(); false for none of them.
    std::function<bool(const std::string &option, const std::function<const char *()> &value)>
        option;
    /// Builds the simulator from the common options and the scenario file (empty: none) and
    /// runs it until stop.
    std::function<int(const Options &options, const std::string &scenarioFile,
                      const volatile bool &stop)>
        run;
};

/// Runs a simulator's main: 0 or its run's status, 2 for a bad command line, 1 for a failure.
int main(int argc, char *argv[], const Tool &tool);

/// An option's number up to max, decimal or 0x hex; std::invalid_argument if it is none.
unsigned long number(const char *text, unsigned long max);

/// The whole text of a scenario file; empty for no file.
std::string readScenarioFile(const std::string &file);

} // namespace simcore
