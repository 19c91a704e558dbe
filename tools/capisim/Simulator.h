#pragma once

#include "tools/capisim/Protocol.h"
#include "tools/capisim/Scenario.h"
#include "tools/capisim/Transcript.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capisim {

struct Options
{
    int port = 0; // 0: any free port
    std::string portFile;
    std::string transcriptFile; // empty: stdout
    std::uint16_t firstApplId = 1;
    std::uint16_t listenInfo = 0;
    std::uint16_t registerError = 0;
    bool interactive = false;
    bool exitAtEnd = false;
    /// Accepts connections and takes what arrives, but answers nothing, ever.
    bool neverAnswer = false;
    /// Listens with a full accept queue and never accepts: connects hang, SYNs are dropped.
    bool fullQueue = false;
    std::vector<Command> scenario;
};

/// The CAPI-over-TCP peer: one poll loop serving every connection, the scenario and, in
/// interactive mode, commands from stdin.
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
    struct Connection
    {
        int fd = -1;
        int id = 0;
        FrameReader reader;
        bool registered = false;
        std::uint16_t applId = 0;
    };

    void openListener();
    void fillAcceptQueue();
    void closeListener();
    void accept();
    void readFrom(Connection &c);
    void handleFrame(Connection &c, const Bytes &payload);
    void close(Connection &c, const char *why);
    void closeAll(const char *why);
    bool sendAll(Connection &c, const Bytes &bytes);
    void readStdin();
    /// Runs scenario commands until one has to wait; false once the run is over.
    bool step();
    bool sendToApplications(const Command &command);
    void record(const Decoded &decoded, const Bytes &bytes);
    void note(const std::string &text);
    std::uint16_t nextApplId();
    bool isSilent() const { return m_silent || m_options.neverAnswer; }

    Options m_options;
    int m_listenFd = -1;
    std::vector<int> m_queueFillers;
    bool m_silent = false;
    int m_port = 0;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_nextConnectionId = 1;
    std::uint16_t m_applIdCounter;
    std::uint16_t m_messageNumber = 0x100;
    std::FILE *m_transcript = nullptr;
    std::vector<TranscriptEntry> m_entries;
    std::size_t m_waitCursor = 0;

    std::deque<Command> m_queue;
    std::optional<Clock::time_point> m_sleepUntil;
    std::optional<Clock::time_point> m_waitDeadline;
    std::optional<Clock::time_point> m_reopenAt;
    bool m_commandStarted = false;
    bool m_stdinOpen = false;
    std::string m_stdinBuffer;
    int m_stdinLine = 0;
    bool m_exit = false;
};

} // namespace capisim
