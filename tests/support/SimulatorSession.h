#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <string>
#include <vector>

/// One of the test simulators (capisim, routersim) playing a scenario in a private
/// directory: started with a port file and a transcript there, ended by PID.
class SimulatorSession
{
public:
    SimulatorSession(const SimulatorSession &) = delete;
    SimulatorSession &operator=(const SimulatorSession &) = delete;

    std::string path(const std::string &name) const { return m_dir.path() + "/" + name; }
    const std::string &dir() const { return m_dir.path(); }
    int port() const { return m_port; }
    /// The whole transcript file as it stands.
    std::string transcriptText() const;

    void stop() { m_sim.stop(); }
    bool isRunning() { return m_sim.isRunning(); }

protected:
    explicit SimulatorSession(int port = 0) : m_port(port) {}
    ~SimulatorSession() { stop(); }

    /// Writes the scenario, starts the simulator with "--port-file" and "--transcript"
    /// (plus extra) before the scenario file, and waits until it has written its port.
    /// Raises with the simulator's stderr when it does not.
    void startSimulator(const std::string &program, const std::string &scenarioName,
                        const std::string &scenario, const std::vector<std::string> &extra);

    int m_port;

private:
    TempDir m_dir;
    ChildProcess m_sim;
};
