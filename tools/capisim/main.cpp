// capisim: a CAPI-over-TCP peer on 127.0.0.1 for libcapi20's "fritzbox" module.
#include "tools/simcore/Main.h"
#include "tools/capisim/Scenario.h"
#include "tools/capisim/Simulator.h"

#include <stdexcept>
#include <string>

int main(int argc, char *argv[])
{
    capisim::Options o;
    const auto word = [](const char *text) {
        return static_cast<std::uint16_t>(simcore::number(text, 0xffff));
    };
    return simcore::main(
        argc, argv,
        {"capisim",
         "usage: capisim [--port N] [--port-file FILE] [--transcript FILE] [--applid N]\n"
         "               [--listen-info N] [--register-error N] [--never-answer] "
         "[--full-queue]\n"
         "               [--interactive] [--exit-at-end]\n"
         "               [SCENARIO]\n",
         [&](const std::string &a, const auto &value) {
             if (a == "--applid")
                 o.firstApplId = static_cast<std::uint16_t>(simcore::number(value(), 1023));
             else if (a == "--listen-info")
                 o.listenInfo = word(value());
             else if (a == "--register-error")
                 o.registerError = word(value());
             else if (a == "--never-answer")
                 o.neverAnswer = true;
             else if (a == "--full-queue")
                 o.fullQueue = true;
             else if (a == "--interactive")
                 o.interactive = true;
             else
                 return false;
             return true;
         },
         [&](const simcore::Options &common, const std::string &scenarioFile,
             const volatile bool &stop) {
             if (o.firstApplId == 0)
                 throw std::invalid_argument("--applid must be 1 to 1023");
             static_cast<simcore::Options &>(o) = common;
             capisim::Simulator sim(
                 std::move(o), capisim::parseScenario(simcore::readScenarioFile(scenarioFile)));
             return sim.run(stop);
         }});
}
