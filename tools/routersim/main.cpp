// routersim: a router's call monitor (the plain-text lines of TCP port 1012) on 127.0.0.1.
#include "tools/simcore/Main.h"
#include "tools/routersim/Scenario.h"
#include "tools/routersim/Simulator.h"

#include <string>

int main(int argc, char *argv[])
{
    return simcore::main(
        argc, argv,
        {"routersim",
         "usage: routersim [--port N] [--port-file FILE] [--transcript FILE] [--exit-at-end]\n"
         "                 [SCENARIO]\n",
         [](const std::string &, const auto &) { return false; },
         [](const simcore::Options &common, const std::string &scenarioFile,
            const volatile bool &stop) {
             routersim::Simulator sim(
                 common, routersim::parseScenario(simcore::readScenarioFile(scenarioFile)));
             return sim.run(stop);
         }});
}
