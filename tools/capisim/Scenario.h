#pragma once

#include "tools/capisim/Protocol.h"
#include "tools/capisim/Transcript.h"
#include "tools/simcore/ScenarioText.h"

#include <string>
#include <vector>

namespace capisim {

/// One command of the scenario language (see README.md).
struct Command
{
    enum class Kind {
        Send,           // connect, disconnect, info, raw: one message to the application
        SendStream,     // raw-stream: bytes as they are, no frame around them
        Sleep,          // sleep <seconds>
        WaitFor,        // wait-for <NAME> [key=value ...] [timeout=<seconds>]
        ListenInfo,     // listen-info <value>: Info of the LISTEN_CONFs from now on
        Silent,         // silent: answer nothing, send nothing, drop what arrives
        Talk,           // talk: the end of silent
        DropConnection, // closes every connection, keeps listening
        Restart,        // restart [<seconds>]: also closes the port for that long
        Exit,
    };
    Kind kind = Kind::Exit;
    Bytes bytes;
    /// Sleep and restart: how long; wait-for: timeout (negative: none).
    double seconds = -1;
    Condition condition;
    std::uint16_t info = 0;
    int line = 0;
};

using simcore::ScenarioError;

/// Parses one line; false for a blank or comment line. Raises ScenarioError.
bool parseCommand(const std::string &text, int line, Command &command);
/// Parses a whole scenario, one command a line.
std::vector<Command> parseScenario(const std::string &text);

} // namespace capisim
