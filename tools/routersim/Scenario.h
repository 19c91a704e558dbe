#pragma once

#include "tools/simcore/ScenarioText.h"

#include <string>
#include <vector>

namespace routersim {

/// One command of the scenario language (see README.md).
struct Command
{
    enum class Kind {
        Send,       // ring, connect, disconnect, call, line, raw: bytes to every client
        Sleep,      // sleep <seconds>
        WaitClient, // wait-for-client [timeout=<seconds>]: a client connected since the last drop
        Endings,    // endings lf|crlf: how the lines from now on end
        Drop,       // drop-connection: closes every connection, keeps listening
        Refuse,     // refuse <seconds>: also closes the port for that long
        HangUp,     // hang-up-on-accept <seconds>: closes each new connection at once
        Exit,
    };
    Kind kind = Kind::Exit;
    /// Send: the bytes; ring, connect, disconnect and call put the date in front when sent.
    std::string bytes;
    bool dated = false;     // bytes lack the leading date and time
    bool terminate = false; // the line end is added when sent
    bool crlf = false;      // Endings: CR LF from now on
    double seconds =
        -1; // sleep, refuse, hang-up-on-accept: how long; wait-for-client: timeout (-1: none)
    int line = 0;
};

using simcore::ScenarioError;

/// Parses one line; false for a blank or comment line. Raises ScenarioError.
bool parseCommand(const std::string &text, int line, Command &command);
/// Parses a whole scenario, one command a line.
std::vector<Command> parseScenario(const std::string &text);

/// The router's date and time as it writes them: "07.12.26 14:05:09".
std::string routerTime();

} // namespace routersim
