#pragma once

#include "tools/routersim/Scenario.h"
#include "tools/simcore/Server.h"

#include <memory>
#include <string>
#include <vector>

namespace routersim {

/// A router's call monitor on 127.0.0.1: one poll loop accepting clients and playing the
/// scenario to every client connected.
class Simulator final : public simcore::ScenarioServer<Command>
{
public:
    Simulator(const simcore::Options &options, std::vector<Command> scenario);

private:
    void event(const std::string &name, const simcore::Fields &fields) override;
    std::unique_ptr<simcore::Connection> accepted(int fd) override;
    void readFrom(simcore::Connection &c) override;
    Outcome perform(const Command &command) override;
    void send(const Command &command);

    bool m_crlf = false;
};

} // namespace routersim
