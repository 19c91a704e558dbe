#include "tests/support/SimulatorSession.h"

#include "tests/support/Files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

std::string SimulatorSession::transcriptText() const
{
    return readFile(path("transcript.txt"));
}

void SimulatorSession::startSimulator(const std::string &program, const std::string &scenarioName,
                                      const std::string &scenario,
                                      const std::vector<std::string> &extra)
{
    {
        std::ofstream(path(scenarioName)) << scenario;
    }
    std::remove(path("port").c_str());
    const std::string name = std::filesystem::path(program).filename().string();
    std::vector<std::string> argv{program, "--port-file", path("port"), "--transcript",
                                  path("transcript.txt")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(path(scenarioName));
    m_sim.start(argv, {}, "/dev/null", path(name + ".err"));
    const auto readPort = [&] { return std::atoi(readFile(path("port")).c_str()); };
    if (!waitUntil([&] { return readPort() > 0; }, std::chrono::seconds(10)))
        throw std::runtime_error(name + " did not start: " + readFile(path(name + ".err")));
    m_port = readPort();
}
