#include "tools/capisim/Scenario.h"

#include <algorithm>
#include <map>

namespace capisim {

namespace {

using simcore::expectArgs;
using simcore::keyValues;
using simcore::parseHex;
using simcore::parseNumber;
using simcore::parseSeconds;

std::string parseDigits(const std::string &text, int line)
{
    if (text.size() > 40)
        throw ScenarioError(line, "number too long: '" + text + "'");
    return text;
}

std::uint32_t required(const std::map<std::string, std::string> &kv, const char *key,
                       std::uint32_t max, int line)
{
    return parseNumber(simcore::requiredValue(kv, key, line), max, line, key);
}

/// The command of a line's words.
void parseWords(const std::string &, const std::string &verb, const std::vector<std::string> &args,
                int line, Command &command)
{

    if (verb == "connect") {
        const auto kv = keyValues(args, line,
                                  {"plci", "cip", "called", "called-ton", "calling", "ton", "pi",
                                   "called-raw", "calling-raw", "rest-raw"});
        ConnectSpec s;
        s.plci = required(kv, "plci", 0xffffffff, line);
        for (const auto &[key, value] : kv) {
            if (key == "cip")
                s.cip = static_cast<std::uint16_t>(parseNumber(value, 0xffff, line, key));
            else if (key == "called")
                s.called = parseDigits(value, line);
            else if (key == "called-ton")
                s.calledTon = static_cast<std::uint8_t>(parseNumber(value, 0xff, line, key));
            else if (key == "calling")
                s.calling = parseDigits(value, line);
            else if (key == "ton")
                s.ton = static_cast<std::uint8_t>(parseNumber(value, 0xff, line, key));
            else if (key == "pi")
                s.pi = static_cast<std::uint8_t>(parseNumber(value, 0xff, line, key));
            else if (key == "called-raw")
                s.calledRaw = parseHex(value, line);
            else if (key == "calling-raw")
                s.callingRaw = parseHex(value, line);
            else if (key == "rest-raw")
                s.restRaw = parseHex(value, line);
        }
        command.kind = Command::Kind::Send;
        command.bytes = connectInd(s);
        if (command.bytes.size() > kMaxFrame)
            throw ScenarioError(line, "message longer than 4096 bytes");
    } else if (verb == "disconnect") {
        const auto kv = keyValues(args, line, {"plci", "reason"});
        command.kind = Command::Kind::Send;
        command.bytes =
            disconnectInd(required(kv, "plci", 0xffffffff, line),
                          static_cast<std::uint16_t>(required(kv, "reason", 0xffff, line)));
    } else if (verb == "info") {
        const auto kv = keyValues(args, line, {"plci", "number"});
        const auto n = kv.find("number");
        command.kind = Command::Kind::Send;
        command.bytes = infoInd(required(kv, "plci", 0xffffffff, line),
                                n == kv.end() ? 0x0018
                                              : static_cast<std::uint16_t>(parseNumber(
                                                    n->second, 0xffff, line, "number")));
    } else if (verb == "data-b3") {
        const auto kv = keyValues(args, line, {"ncci", "total", "length", "handle", "data"});
        const auto number = [&](const char *key, std::uint32_t fallback, std::uint32_t max) {
            const auto it = kv.find(key);
            return it == kv.end() ? fallback : parseNumber(it->second, max, line, key);
        };
        const auto ncci = required(kv, "ncci", 0xffffffff, line);
        const auto total = number("total", 30, kMaxFrame);
        if (total < 8)
            throw ScenarioError(line, "total below 8: the header would not fit");
        const auto length = number("length", 16, 0xffff);
        const auto handle = number("handle", 0, 0xffff);
        // By default as many data bytes as announced, as far as the frame takes them.
        const auto data =
            number("data", std::min<std::uint32_t>(length, kMaxFrame - total), kMaxFrame);
        if (total + data > kMaxFrame)
            throw ScenarioError(line, "message and data longer than 4096 bytes");
        command.kind = Command::Kind::Send;
        command.bytes =
            dataB3Ind(ncci, static_cast<std::uint16_t>(total), static_cast<std::uint16_t>(length),
                      static_cast<std::uint16_t>(handle), data);
    } else if (verb == "raw" || verb == "raw-stream") {
        std::string hex;
        for (const auto &a : args)
            hex += a;
        command.kind = verb == "raw" ? Command::Kind::Send : Command::Kind::SendStream;
        command.bytes = parseHex(hex, line);
        if (command.bytes.empty())
            throw ScenarioError(line, verb + " needs bytes");
        if (verb == "raw" && command.bytes.size() > kMaxFrame)
            throw ScenarioError(line, "message longer than 4096 bytes");
    } else if (verb == "wait-for") {
        if (args.empty())
            throw ScenarioError(line, "wait-for needs a message name");
        command.kind = Command::Kind::WaitFor;
        command.condition.name = args[0];
        for (std::size_t i = 1; i < args.size(); ++i) {
            const auto eq = args[i].find('=');
            if (eq == std::string::npos || eq == 0)
                throw ScenarioError(line, "expected key=value, got '" + args[i] + "'");
            const std::string key = args[i].substr(0, eq);
            const std::string value = args[i].substr(eq + 1);
            if (key == "timeout")
                command.seconds = parseSeconds(value, line);
            else
                command.condition.fields.emplace_back(key, value);
        }
    } else if (verb == "listen-info") {
        expectArgs(args, 1, 1, line, verb);
        command.kind = Command::Kind::ListenInfo;
        command.info = static_cast<std::uint16_t>(parseNumber(args[0], 0xffff, line, "info"));
    } else {
        using K = Command::Kind;
        simcore::parseControl(verb, args, line, command,
                              {{"sleep", K::Sleep, 1, 1},
                               {"silent", K::Silent},
                               {"talk", K::Talk},
                               {"drop-connection", K::DropConnection},
                               {"restart", K::Restart, 0, 1},
                               {"exit", K::Exit}});
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

} // namespace capisim
