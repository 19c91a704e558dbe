#include "tests/support/RoutersimSession.h"

#include <sstream>

void RoutersimSession::start(const std::string &scenario)
{
    startSimulator(KW_ROUTERSIM_PATH, "router.scenario", scenario, {});
}

void RoutersimSession::startOn(int port, const std::string &scenario)
{
    startSimulator(KW_ROUTERSIM_PATH, "router.scenario", scenario,
                   {"--port", std::to_string(port)});
}

int RoutersimSession::count(const std::string &text) const
{
    int n = 0;
    std::istringstream in(transcriptText());
    for (std::string line; std::getline(in, line);)
        n += line.find(text) != std::string::npos;
    return n;
}
