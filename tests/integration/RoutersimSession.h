#pragma once

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

/// routersim on a free loopback port playing a scenario, with its transcript, in a
/// private directory.
class RoutersimSession
{
public:
    ~RoutersimSession() { stop(); }

    std::string path(const std::string &name) const { return m_dir.path() + "/" + name; }
    const std::string &dir() const { return m_dir.path(); }
    int port() const { return m_port; }

    /// Starts routersim with this scenario text and waits until it has its port.
    void start(const std::string &scenario)
    {
        {
            std::ofstream(path("router.scenario")) << scenario;
        }
        m_sim.start({KW_ROUTERSIM_PATH, "--port-file", path("port"), "--transcript",
                     path("transcript.txt"), path("router.scenario")},
                    {}, "/dev/null", path("routersim.err"));
        if (!waitUntil([&] { return readPort() > 0; }, std::chrono::seconds(10)))
            throw std::runtime_error("routersim did not start: " + read(path("routersim.err")));
        m_port = readPort();
    }

    void stop() { m_sim.stop(); }

    /// Transcript lines containing text ("OPEN conn=", "CLOSE conn=1 why=drop", ...).
    int count(const std::string &text) const
    {
        int n = 0;
        std::istringstream in(read(path("transcript.txt")));
        for (std::string line; std::getline(in, line);)
            n += line.find(text) != std::string::npos;
        return n;
    }
    std::string transcript() const { return read(path("transcript.txt")); }

    static std::string read(const std::string &file)
    {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    int readPort() const { return std::atoi(read(path("port")).c_str()); }

    TempDir m_dir;
    ChildProcess m_sim;
    int m_port = 0;
};
