// routersim: a router's call monitor (the plain-text lines of TCP port 1012) on 127.0.0.1,
// and on request its TR-064 side (the phonebooks and the own area code).
#include "tools/simcore/Main.h"
#include "tools/routersim/Scenario.h"
#include "tools/routersim/Simulator.h"
#include "tools/routersim/Tr064Server.h"

#include <string>

int main(int argc, char *argv[])
{
    routersim::Tr064Side tr064;
    return simcore::main(
        argc, argv,
        {"routersim",
         "usage: routersim [--port N] [--port-file FILE] [--transcript FILE] [--exit-at-end]\n"
         "                 [TR-064 options] [SCENARIO]\n"
         "  TR-064 side: --tr064-port N | --tr064-port-file FILE [--user NAME] [--password PW]\n"
         "               [--phonebook FILE]... [--area-code C] [--country-code C]\n"
         "               [--tr064-mode normal|wrong-password|broken-xml|hang|error]\n",
         [&](const std::string &option, const auto &value) { return tr064.option(option, value); },
         [&](const simcore::Options &common, const std::string &scenarioFile,
             const volatile bool &stop) {
             tr064.start(common);
             routersim::Simulator sim(
                 common, routersim::parseScenario(simcore::readScenarioFile(scenarioFile)));
             return sim.run(stop);
         }});
}
