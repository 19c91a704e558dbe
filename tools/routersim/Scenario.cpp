#include "tools/routersim/Scenario.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>

namespace routersim {

namespace {

double parseSeconds(const std::string &text, int line)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400)
        throw ScenarioError(line, "bad seconds: '" + text + "'");
    return v;
}

std::string parseHex(const std::string &text, int line)
{
    std::string out;
    if (text.size() % 2 != 0)
        throw ScenarioError(line, "odd number of hex digits");
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char *end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0])))
            throw ScenarioError(line, "bad hex '" + pair + "'");
        out += static_cast<char>(v);
    }
    return out;
}

/// key=value arguments; each key at most once and from the allowed set.
std::map<std::string, std::string> keyValues(const std::vector<std::string> &tokens, int line,
                                             std::initializer_list<const char *> allowed)
{
    std::map<std::string, std::string> out;
    for (const auto &t : tokens) {
        const auto eq = t.find('=');
        if (eq == std::string::npos || eq == 0)
            throw ScenarioError(line, "expected key=value, got '" + t + "'");
        const std::string key = t.substr(0, eq);
        bool ok = false;
        for (const char *a : allowed)
            ok = ok || key == a;
        if (!ok)
            throw ScenarioError(line, "unknown key '" + key + "'");
        if (!out.emplace(key, t.substr(eq + 1)).second)
            throw ScenarioError(line, "key '" + key + "' given twice");
    }
    return out;
}

std::string value(const std::map<std::string, std::string> &kv, const char *key,
                  const char *fallback, int line)
{
    const auto it = kv.find(key);
    if (it != kv.end())
        return it->second;
    if (!fallback)
        throw ScenarioError(line, std::string("missing ") + key + "=");
    return fallback;
}

void expectArgs(const std::vector<std::string> &args, std::size_t min, std::size_t max, int line,
                const std::string &verb)
{
    if (args.size() < min || args.size() > max)
        throw ScenarioError(line, "wrong number of arguments to " + verb);
}

} // namespace

bool parseCommand(const std::string &text, int line, Command &command)
{
    std::istringstream in(text);
    std::string verb;
    if (!(in >> verb) || verb[0] == '#')
        return false;
    command = Command{};
    command.line = line;
    if (verb == "line") {
        // Everything after "line " as it stands, comments and blanks included.
        const auto at = text.find("line") + 4;
        command.kind = Command::Kind::Send;
        command.bytes = at < text.size() ? text.substr(at + 1) : std::string();
        command.terminate = true;
        return true;
    }
    std::vector<std::string> args;
    for (std::string t; in >> t;) {
        if (t[0] == '#')
            break;
        args.push_back(t);
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
        command.bytes = parseHex(hex, line);
        if (command.bytes.empty())
            throw ScenarioError(line, "raw needs bytes");
    } else if (verb == "endings") {
        expectArgs(args, 1, 1, line, verb);
        if (args[0] != "lf" && args[0] != "crlf")
            throw ScenarioError(line, "endings lf or endings crlf");
        command.kind = Command::Kind::Endings;
        command.crlf = args[0] == "crlf";
    } else if (verb == "sleep") {
        expectArgs(args, 1, 1, line, verb);
        command.kind = Command::Kind::Sleep;
        command.seconds = parseSeconds(args[0], line);
    } else if (verb == "wait-for-client") {
        const auto kv = keyValues(args, line, {"timeout"});
        command.kind = Command::Kind::WaitClient;
        if (kv.count("timeout"))
            command.seconds = parseSeconds(kv.at("timeout"), line);
    } else if (verb == "drop-connection") {
        expectArgs(args, 0, 0, line, verb);
        command.kind = Command::Kind::Drop;
    } else if (verb == "refuse") {
        expectArgs(args, 1, 1, line, verb);
        command.kind = Command::Kind::Refuse;
        command.seconds = parseSeconds(args[0], line);
    } else if (verb == "exit") {
        expectArgs(args, 0, 0, line, verb);
        command.kind = Command::Kind::Exit;
    } else {
        throw ScenarioError(line, "unknown command '" + verb + "'");
    }
    return true;
}

std::vector<Command> parseScenario(const std::string &text)
{
    std::vector<Command> out;
    std::istringstream in(text);
    std::string lineText;
    int line = 0;
    while (std::getline(in, lineText)) {
        ++line;
        Command c;
        if (parseCommand(lineText, line, c))
            out.push_back(std::move(c));
    }
    return out;
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
