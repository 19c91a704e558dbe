#pragma once

#include "tools/capisim/Protocol.h"
#include "tools/capisim/Scenario.h"
#include "tools/capisim/Transcript.h"
#include "tools/simcore/Server.h"

#include <memory>
#include <string>
#include <vector>

namespace capisim {

struct Options : simcore::Options
{
    std::uint16_t firstApplId = 1;
    std::uint16_t listenInfo = 0;
    std::uint16_t registerError = 0;
    bool interactive = false;
    /// Accepts connections and takes what arrives, but answers nothing, ever.
    bool neverAnswer = false;
    /// Listens with a full accept queue and never accepts: connects hang, SYNs are dropped.
    bool fullQueue = false;
};

/// The CAPI-over-TCP peer: one poll loop serving every connection, the scenario and, in
/// interactive mode, commands from stdin.
class Simulator final : public simcore::ScenarioServer<Command>
{
public:
    Simulator(Options options, std::vector<Command> scenario);

private:
    struct Connection : simcore::Connection
    {
        FrameReader reader;
        bool registered = false;
        std::uint16_t applId = 0;
    };

    void listenerOpened() override;
    void listenerClosed() override;
    void event(const std::string &name, const simcore::Fields &fields) override;
    std::unique_ptr<simcore::Connection> accepted(int fd) override;
    void readFrom(simcore::Connection &c) override;
    void readInput() override;
    Outcome perform(const Command &command) override;

    void handleFrame(Connection &c, const Bytes &payload);
    bool sendAll(Connection &c, const Bytes &bytes);
    bool sendToApplications(const Command &command);
    void record(const Decoded &decoded, const Bytes &bytes);
    std::uint16_t nextApplId();
    bool isSilent() const { return m_silent || m_options.neverAnswer; }

    Options m_options;
    std::vector<int> m_queueFillers;
    bool m_silent = false;
    std::uint16_t m_applIdCounter;
    std::uint16_t m_messageNumber = 0x100;
    std::vector<TranscriptEntry> m_entries;
    std::size_t m_waitCursor = 0;
    std::string m_stdinBuffer;
    int m_stdinLine = 0;
};

} // namespace capisim
