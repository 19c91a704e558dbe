#include "tools/routersim/Scenario.h"

#include <ctime>
#include <map>

namespace routersim {

namespace {

using simcore::expectArgs;
using simcore::keyValues;
using simcore::parseSeconds;

std::string value(const std::map<std::string, std::string> &kv, const char *key,
                  const char *fallback, int line)
{
    if (!fallback)
        return simcore::requiredValue(kv, key, line);
    const auto it = kv.find(key);
    return it != kv.end() ? it->second : fallback;
}

/// The command of a line's words.
void parseWords(const std::string &text, const std::string &verb,
                const std::vector<std::string> &args, int line, Command &command)
{
    if (verb == "line") {
        // Everything after "line " as it stands, comments and blanks included.
        const auto at = text.find("line") + 4;
        command.kind = Command::Kind::Send;
        command.bytes = at < text.size() ? text.substr(at + 1) : std::string();
        command.terminate = true;
        return;
    }

    auto dated = [&](std::string fields) {
        command.kind = Command::Kind::Send;
        command.bytes = std::move(fields);
        command.dated = true;
        command.terminate = true;
    };
    if (verb == "ring") {
        const auto kv = keyValues(args, line, {"id", "caller", "called", "line"});
        dated(";RING;" + value(kv, "id", nullptr, line) + ";" + value(kv, "caller", "", line) +
              ";" + value(kv, "called", "", line) + ";" + value(kv, "line", "SIP0", line) + ";");
    } else if (verb == "connect") {
        const auto kv = keyValues(args, line, {"id", "ext", "number"});
        dated(";CONNECT;" + value(kv, "id", nullptr, line) + ";" + value(kv, "ext", nullptr, line) +
              ";" + value(kv, "number", "", line) + ";");
    } else if (verb == "disconnect") {
        const auto kv = keyValues(args, line, {"id", "duration"});
        dated(";DISCONNECT;" + value(kv, "id", nullptr, line) + ";" +
              value(kv, "duration", "0", line) + ";");
    } else if (verb == "call") {
        const auto kv = keyValues(args, line, {"id", "ext", "own", "dialled", "line"});
        dated(";CALL;" + value(kv, "id", nullptr, line) + ";" + value(kv, "ext", nullptr, line) +
              ";" + value(kv, "own", "", line) + ";" + value(kv, "dialled", "", line) + ";" +
              value(kv, "line", "SIP0", line) + ";");
    } else if (verb == "raw") {
        std::string hex;
        for (const auto &a : args)
            hex += a;
        command.kind = Command::Kind::Send;
        const simcore::Bytes bytes = simcore::parseHex(hex, line);
        command.bytes.assign(bytes.begin(), bytes.end());
        if (command.bytes.empty())
            throw ScenarioError(line, "raw needs bytes");
    } else if (verb == "endings") {
        expectArgs(args, 1, 1, line, verb);
        if (args[0] != "lf" && args[0] != "crlf")
            throw ScenarioError(line, "endings lf or endings crlf");
        command.kind = Command::Kind::Endings;
        command.crlf = args[0] == "crlf";
    } else if (verb == "wait-for-client") {
        const auto kv = keyValues(args, line, {"timeout"});
        command.kind = Command::Kind::WaitClient;
        if (kv.count("timeout"))
            command.seconds = parseSeconds(kv.at("timeout"), line);
    } else {
        simcore::parseControl(verb, args, line, command,
                              {{"sleep", Command::Kind::Sleep, 1, 1},
                               {"refuse", Command::Kind::Refuse, 1, 1},
                               {"hang-up-on-accept", Command::Kind::HangUp, 1, 1},
                               {"drop-connection", Command::Kind::Drop},
                               {"exit", Command::Kind::Exit}});
    }
}

} // namespace

bool parseCommand(const std::string &text, int line, Command &command)
{
    return simcore::parseCommandLine(text, line, command, parseWords);
}

std::vector<Command> parseScenario(const std::string &text)
{
    return simcore::parseLines<Command>(text, parseCommand);
}

std::string routerTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%y %H:%M:%S", &tm);
    return buf;
}

} // namespace routersim
