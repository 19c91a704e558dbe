#pragma once

#include "tests/support/SimulatorSession.h"

#include <string>

/// routersim on a free loopback port playing a scenario, with its transcript, in a
/// private directory.
class RoutersimSession : public SimulatorSession
{
public:
    RoutersimSession() = default;

    /// Starts routersim with this scenario text and waits until it has its port.
    void start(const std::string &scenario);
    /// The same on a port of the caller's choosing.
    void startOn(int port, const std::string &scenario);

    /// Transcript lines containing text ("OPEN conn=", "CLOSE conn=1 why=drop", ...).
    int count(const std::string &text) const;
    std::string transcript() const { return transcriptText(); }
};
