#pragma once

#include "tools/routersim/Scenario.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace routersim {

struct Options
{
    int port = 0; // 0: any free port
    std::string portFile;
    std::string transcriptFile; // empty: stdout
    bool exitAtEnd = false;
    std::vector<Command> scenario;
};

/// A router's call monitor on 127.0.0.1: one poll loop accepting clients and playing the
/// scenario to every client connected.
class Simulator
{
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    /// Runs until the scenario exits or stop is asked for; returns the exit status.
    int run(const volatile bool &stop);

private:
    using Clock = std::chrono::steady_clock;
    struct Client
    {
        int fd = -1;
        int id = 0;
    };

    void openListener();
    void closeListener();
    void accept();
    void readFrom(Client &c);
    void close(Client &c, const char *why);
    void closeAll(const char *why);
    void send(const Command &command);
    /// Runs scenario commands until one has to wait; false once the run is over.
    bool step();
    void record(const std::string &text);

    Options m_options;
    int m_listenFd = -1;
    int m_port = 0;
    std::vector<Client> m_clients;
    int m_nextClientId = 1;
    bool m_crlf = false;
    std::FILE *m_transcript = nullptr;

    std::deque<Command> m_queue;
    std::optional<Clock::time_point> m_sleepUntil;
    std::optional<Clock::time_point> m_waitDeadline;
    std::optional<Clock::time_point> m_reopenAt;
    bool m_commandStarted = false;
    bool m_exit = false;
};

} // namespace routersim
